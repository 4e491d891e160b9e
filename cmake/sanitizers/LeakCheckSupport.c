/* AddressSanitizer build only: linked into every program ahead of the C
 * library and libgcc, so that these definitions take the place of theirs.
 *
 * dlclose does nothing. Leaks are checked when a program ends, after Mesa has
 * unloaded its driver and Qt its plugins: memory that a driver still held
 * through its own globals then looks leaked, and stacks through an unloaded
 * library cannot be named. With every library left in place until the end,
 * what they keep is reachable and every frame of a report has a name.
 *
 * __register_frame and __deregister_frame do nothing. llvmpipe's JIT
 * registers the unwind tables of the shader code it compiles. The next
 * DWARF unwind then makes libgcc sort them, allocating under the lock its
 * unwinder holds; with fast_unwind_on_malloc=0 (full allocation stacks) that
 * allocation unwinds again and waits for the same lock for ever. Unwinding
 * through JIT code is never needed: nothing throws through a shader, and
 * the sanitizer's stacks stop at the first frame they cannot describe.
 */

#include <stddef.h>

int dlclose(void* handle)
{
    (void)handle;
    return 0;
}

void __register_frame(void* begin)
{
    (void)begin;
}

void __deregister_frame(void* begin)
{
    (void)begin;
}
