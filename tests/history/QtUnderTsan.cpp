// Qt is not built with ThreadSanitizer. Painting a large area, its raster
// engine hands slices to its own pooled threads and waits for them with locks
// the sanitizer cannot see, so the allocations and copies those threads make
// through the sanitizer's interceptors look like races. Interceptors called
// from Qt are therefore left out; every access made by the program's own
// (instrumented) code is still checked. Unused in builds without the sanitizer.
extern "C" const char* __tsan_default_options() {
    return "ignore_noninstrumented_modules=1";
}
