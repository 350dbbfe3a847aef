#include "language/language_library.hpp"

#include <string>

#include "language/object_stats.hpp"
#include "language/runtime_string.hpp"
#include "language/string_routines.hpp"
#include "startup/runtime_error.hpp"
#include "startup/symbol_registry.hpp"

namespace trelm {

ObjectStats& objectStats() {
    static ObjectStats stats;
    return stats;
}

extern "C" void cmd_RuntimeStats() {
    logText(("Active strings :" + intToText(liveStringCount())).c_str());
    logText(("Active objects :" + intToText(objectStats().active)).c_str());
    logText(("Unreleased objs:" + intToText(objectStats().unreleased)).c_str());
}

namespace {

void link(Registrar& r) {
    linkStringRoutines(r);
    TRELM_COMMAND(r, "RuntimeStats", cmd_RuntimeStats);
}

bool create() {
    resetStringPool();
    objectStats() = {};
    return true;
}

void destroy() { releaseAllStrings(); }

}  // namespace

const CommandLibrary languageSupportLibrary = {"basic", link, create, destroy};

}  // namespace trelm
