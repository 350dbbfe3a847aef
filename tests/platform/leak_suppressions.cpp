// The GL driver that SDL loads for a GL-capable window has no frame pointers:
// only the slow unwinder sees that its allocations come from inside SDL, which
// tests/lsan.supp names.
extern "C" const char* __asan_default_options() { return "fast_unwind_on_malloc=0"; }
