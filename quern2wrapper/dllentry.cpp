// The library's entry routine. It does nothing: the runtime's static
// initialisers already ran, and no work may happen under the loader lock.
#if defined(_WIN32)

extern "C" int __stdcall DllMain(void* /*hInstance*/, unsigned long /*reason*/, void* /*reserved*/)
{
    return 1;
}

#endif
