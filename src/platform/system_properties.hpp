// The values SystemProperty reports about the machine and the process.
#pragma once

#include <string>
#include <string_view>

struct SDL_Window;

namespace trelm {

// The value of a property that does not depend on an open subsystem, by its
// lower-case name; "" for names it does not know. `window` (may be null) is the
// runtime window. Folders end with "/".
std::string machineProperty(std::string_view lowerName, SDL_Window* window);

// Ensures the folder text ends with exactly one "/"; "" stays "".
std::string folderWithSlash(std::string folder);

}  // namespace trelm
