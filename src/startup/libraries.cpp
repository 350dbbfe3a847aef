#include "startup/libraries.hpp"

#include <array>

#include "language/language_library.hpp"
#include "startup/symbol_registry.hpp"
#include "startup/system_commands.hpp"

namespace trelm {

namespace {
// Each library a later part of the runtime adds takes its place here, in order.
constexpr std::array<const CommandLibrary*, 1> kLibraries = {
    &languageSupportLibrary,
};
}  // namespace

std::span<const CommandLibrary* const> commandLibraries() { return kLibraries; }

void linkAllLibraries(Registrar& registrar) {
    linkSystemCommands(registrar);
    for (const CommandLibrary* lib : kLibraries)
        if (lib->link) lib->link(registrar);
}

}  // namespace trelm
