// The entry point of the layer link checks (cmake/EmulsaTargets.cmake): the
// program only has to link, never to run.
int main()
{
    return 0;
}
