// The module file: code, then the module's symbols, then relative and absolute
// fix-ups by name. All integers are 32-bit little-endian; names are
// NUL-terminated. A file from disk is untrusted: the reader checks every count,
// name and offset against the data instead of trusting the compiler.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace trelm {

struct ModuleSymbol {
    std::string name;
    std::uint32_t offset;
};

struct ModuleFixup {
    std::string symbol;
    std::uint32_t offset;  // of the 4-byte field to patch
};

struct ModuleFile {
    std::vector<std::uint8_t> code;
    std::vector<ModuleSymbol> symbols;
    std::vector<ModuleFixup> relative;
    std::vector<ModuleFixup> absolute;
};

// Null when the bytes are not a well-formed module: truncated tables, names
// without their NUL, symbols outside the code, fix-up fields not wholly inside it.
std::optional<ModuleFile> readModuleFile(std::span<const std::uint8_t> bytes);

// The bytes of a module, the inverse of readModuleFile (tools and tests build modules with it).
std::vector<std::uint8_t> writeModuleFile(const ModuleFile& module);

}  // namespace trelm
