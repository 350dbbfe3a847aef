// Loads a module image into low executable memory and patches its fix-ups,
// resolving each name among the module's own symbols first, then among the
// runtime's registered names (translated to the names modules use).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <unordered_map>

#include "startup/module_file.hpp"

namespace trelm {

class HostRuntime;

// Translated runtime name -> value, as built from a walk of the symbol table.
using RuntimeNames = std::unordered_map<std::string, std::uintptr_t>;

// Walks the host's symbol table (nextSymbolName/lookupSymbol) and translates every name.
RuntimeNames collectRuntimeNames(HostRuntime& host);

struct LinkResult {
    enum class Status { Linked, Unloadable, MissingSymbol };
    Status status = Status::Unloadable;
    std::string missingSymbol;
    void* base = nullptr;
    std::size_t size = 0;
    void (*entry)() = nullptr;

    // The text the user is shown when linking failed.
    std::string failureMessage() const;
    // The process exit code that goes with a failure.
    int exitCode() const { return status == Status::MissingSymbol ? 0 : -1; }
};

inline constexpr const char* kUnableToRunModule = "Unable to run Trelm Basic module";

// Links a parsed module. Module memory is never released once linked.
LinkResult linkModule(const ModuleFile& module, const RuntimeNames& runtimeNames);

// Reads, checks and links the bytes of a module file.
LinkResult linkModuleBytes(std::span<const std::uint8_t> bytes, const RuntimeNames& runtimeNames);

}  // namespace trelm
