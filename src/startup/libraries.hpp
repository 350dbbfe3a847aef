// The command libraries: each registers its commands (link), and may have a
// create and destroy step run around every module run, in a fixed order.
#pragma once

#include <span>

namespace trelm {

class Registrar;

struct CommandLibrary {
    // The word of the start-up failure text ("basic" -> "basic_create failed");
    // null for a library whose creation cannot fail.
    const char* word;
    void (*link)(Registrar&);
    bool (*create)();   // null: always succeeds
    void (*destroy)();  // null: nothing to do
};

// The libraries of this build in creation order: language support, math,
// string, stream, sockets, file system, bank, 2D graphics, input, audio,
// multiplayer, 3D engine, user libraries.
std::span<const CommandLibrary* const> commandLibraries();

// Registers everything in link order: the system commands and debugger
// symbols first, then every library in creation order.
void linkAllLibraries(Registrar& registrar);

}  // namespace trelm
