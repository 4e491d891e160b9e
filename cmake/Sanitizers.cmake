# Sanitizer builds.
#
# EMULSA_SANITIZE: AddressSanitizer, LeakSanitizer and UndefinedBehaviorSanitizer.
# EMULSA_TSAN:     ThreadSanitizer.
#
# Every report ends the program with a failing exit status, so that a report
# fails the build step or the test that produced it. EMULSA_SANITIZER_ENV holds
# the tests' runtime options ("NAME=value" entries), given to them as CTest
# environment; EMULSA_TOOL_SANITIZER_ENV those of the tools, which build
# steps run through EMULSA_RUN_TOOL:
#
#   add_custom_command(... COMMAND ${EMULSA_RUN_TOOL} $<TARGET_FILE:tool> args ...)
#
# EMULSA_RUN_TOOL is empty in an ordinary build. The suppression files in
# cmake/sanitizers/ name only reports that belong to Qt, Mesa or FFmpeg.
#
# Leaks are checked in every program. Qt, Mesa and FFmpeg have no frame
# pointers, so the suppressions name a frame that the fast unwinder still
# sees: the library function that made the allocation.

# EMULSA_FUZZ:     the fuzz targets, with AddressSanitizer and
#                  UndefinedBehaviorSanitizer, in a clang build.
if(EMULSA_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "EMULSA_FUZZ needs clang (CMAKE_CXX_COMPILER=clang++, CMAKE_C_COMPILER=clang)")
  endif()
  if(EMULSA_TSAN)
    message(FATAL_ERROR "EMULSA_FUZZ cannot be combined with EMULSA_TSAN")
  endif()
  # Every library is instrumented for coverage; the fuzz targets add the
  # fuzzer's own main when they link.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
endif()

if(EMULSA_SANITIZE AND EMULSA_TSAN)
  message(FATAL_ERROR "EMULSA_SANITIZE and EMULSA_TSAN cannot be combined: use two build folders")
endif()

set(EMULSA_SANITIZER_DIR ${PROJECT_SOURCE_DIR}/cmake/sanitizers)
set(EMULSA_SANITIZER_ENV "")

if(EMULSA_SANITIZE)
  # -fno-sanitize-recover: undefined behaviour stops the program like a memory
  # error does, instead of printing a line and carrying on.
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
  # Tests check leaks with the fast unwinder: allocation stacks follow frame
  # pointers, so they are exact through our code and end at the first frame
  # of a library built without them. That costs a fraction of full stacks
  # and is enough to tell our leaks from a library's. For a report's whole
  # stack, run the test again with fast_unwind_on_malloc=0.
  set(EMULSA_SANITIZER_ENV
    "ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:strict_init_order=1:check_initialization_order=1"
    "LSAN_OPTIONS=suppressions=${EMULSA_SANITIZER_DIR}/lsan.supp:print_suppressions=0"
    "UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1")
  # Every program links the leak-check support library first (see its
  # source): libraries stay loaded until the leak check at exit, and
  # llvmpipe's JIT leaves libgcc's unwinder alone, which the full stacks
  # need. --no-as-needed keeps it even though nothing calls it by name.
  add_library(emulsa_leak_check_support SHARED ${EMULSA_SANITIZER_DIR}/LeakCheckSupport.c)
  link_libraries(-Wl,--push-state,--no-as-needed emulsa_leak_check_support -Wl,--pop-state)
  # The tools run at build time (the film-data generator, the icon and demo
  # picture tools) have full allocation stacks.
  set(EMULSA_TOOL_SANITIZER_ENV
    "ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:fast_unwind_on_malloc=0:strict_init_order=1:check_initialization_order=1"
    "LSAN_OPTIONS=suppressions=${EMULSA_SANITIZER_DIR}/lsan.supp:print_suppressions=0"
    "UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1")
endif()

if(EMULSA_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
  # ignore_noninstrumented_modules: Qt, Mesa, GLib and FFmpeg are not built
  # with the sanitizer, so it sees their memory only through the C library
  # calls they make (memcpy, free, pthread_*), while their own locks (futexes,
  # atomics) stay invisible. Those calls are not checked; every access made by
  # our code still is.
  set(EMULSA_SANITIZER_ENV
    "TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:ignore_noninstrumented_modules=1:suppressions=${EMULSA_SANITIZER_DIR}/tsan.supp:print_suppressions=0")
  # Tells the sanitizer about QMutex and QWaitCondition (see the source). Every
  # target made after this links it first, ahead of Qt.
  find_package(Qt5 5.15 REQUIRED COMPONENTS Core)
  add_library(emulsa_qt_sync_tsan SHARED ${EMULSA_SANITIZER_DIR}/QtSyncForTsan.cpp)
  target_link_libraries(emulsa_qt_sync_tsan PRIVATE Qt5::Core ${CMAKE_DL_LIBS})
  link_libraries(emulsa_qt_sync_tsan)
endif()

if(NOT DEFINED EMULSA_TOOL_SANITIZER_ENV)
  set(EMULSA_TOOL_SANITIZER_ENV ${EMULSA_SANITIZER_ENV})
endif()
if(EMULSA_TOOL_SANITIZER_ENV)
  set(EMULSA_RUN_TOOL ${CMAKE_COMMAND} -E env ${EMULSA_TOOL_SANITIZER_ENV})
else()
  set(EMULSA_RUN_TOOL "")
endif()
