// Language support: the routines compiled code calls for strings (and, as the
// language grows, arrays, objects and DATA), and the RuntimeStats command.
#pragma once

#include "startup/libraries.hpp"

namespace trelm {

extern const CommandLibrary languageSupportLibrary;

extern "C" void cmd_RuntimeStats();

}  // namespace trelm
