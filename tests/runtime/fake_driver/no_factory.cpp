// A library that is no driver: it exports nothing named HmdDriverFactory.
#if defined(_WIN32)
extern "C" __declspec(dllexport) int NotADriver() { return 1; }
#else
extern "C" __attribute__((visibility("default"))) int NotADriver() { return 1; }
#endif
