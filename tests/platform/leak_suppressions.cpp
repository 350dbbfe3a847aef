// Under LeakSanitizer: the windowing libraries keep a few allocations for the
// life of the process (D-Bus connection caches, the GL driver that SDL loads
// and unloads for each GL-capable window). Leaks of our own code are still
// reported, since the patterns name only those libraries.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n"
           "leak:libSDL2-2.0.so\n";
}

// The GL driver has no frame pointers: only the slow unwinder sees that its
// allocations come from inside SDL.
extern "C" const char* __asan_default_options() { return "fast_unwind_on_malloc=0"; }
