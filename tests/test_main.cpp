// The main of every test suite. Tests never wait on a dialog and never reach a
// sound device, whether run by ctest or by hand; sanitizer runs ignore the
// allocations system libraries keep for the life of the process.
#include <gtest/gtest.h>

#include <cstdlib>

extern "C" const char* __lsan_default_suppressions() { return TRELM_LSAN_SUPPRESSIONS; }

int main(int argc, char** argv) {
    setenv("TRELM_DIALOGS", "stderr", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    setenv("ALSOFT_DRIVERS", "null", 0);
    // For the runtime processes the tests start.
    setenv("LSAN_OPTIONS", "suppressions=" TRELM_LSAN_SUPPRESSIONS_FILE, 0);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
