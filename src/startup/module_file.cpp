#include "startup/module_file.hpp"

#include <cstring>

namespace trelm {

namespace {

class Reader {
public:
    explicit Reader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    bool u32(std::uint32_t& out) {
        if (bytes_.size() - pos_ < 4) return false;
        out = static_cast<std::uint32_t>(bytes_[pos_]) | static_cast<std::uint32_t>(bytes_[pos_ + 1]) << 8 |
              static_cast<std::uint32_t>(bytes_[pos_ + 2]) << 16 |
              static_cast<std::uint32_t>(bytes_[pos_ + 3]) << 24;
        pos_ += 4;
        return true;
    }

    bool name(std::string& out) {
        const void* nul = std::memchr(bytes_.data() + pos_, 0, bytes_.size() - pos_);
        if (!nul) return false;
        auto end = static_cast<const std::uint8_t*>(nul) - bytes_.data();
        out.assign(reinterpret_cast<const char*>(bytes_.data() + pos_), end - pos_);
        pos_ = end + 1;
        return true;
    }

    bool take(std::size_t n, std::vector<std::uint8_t>& out) {
        if (bytes_.size() - pos_ < n) return false;
        out.assign(bytes_.begin() + pos_, bytes_.begin() + pos_ + n);
        pos_ += n;
        return true;
    }

    // Every entry has at least a NUL and a 4-byte offset: a count beyond that is a lie.
    bool plausibleCount(std::uint32_t count) const { return count <= (bytes_.size() - pos_) / 5; }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t pos_ = 0;
};

bool readFixups(Reader& r, std::size_t codeSize, std::vector<ModuleFixup>& out) {
    std::uint32_t count;
    if (!r.u32(count) || !r.plausibleCount(count)) return false;
    out.resize(count);
    for (ModuleFixup& f : out) {
        if (!r.name(f.symbol) || !r.u32(f.offset)) return false;
        if (codeSize < 4 || f.offset > codeSize - 4) return false;
    }
    return true;
}

void putU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void putName(std::vector<std::uint8_t>& out, const std::string& name) {
    out.insert(out.end(), name.begin(), name.end());
    out.push_back(0);
}

}  // namespace

std::optional<ModuleFile> readModuleFile(std::span<const std::uint8_t> bytes) {
    Reader r(bytes);
    ModuleFile m;
    std::uint32_t codeSize, symbolCount;
    if (!r.u32(codeSize) || !r.take(codeSize, m.code)) return std::nullopt;
    if (!r.u32(symbolCount) || !r.plausibleCount(symbolCount)) return std::nullopt;
    m.symbols.resize(symbolCount);
    for (ModuleSymbol& s : m.symbols) {
        if (!r.name(s.name) || !r.u32(s.offset)) return std::nullopt;
        if (s.offset >= codeSize) return std::nullopt;
    }
    if (!readFixups(r, codeSize, m.relative) || !readFixups(r, codeSize, m.absolute)) return std::nullopt;
    return m;
}

std::vector<std::uint8_t> writeModuleFile(const ModuleFile& m) {
    std::vector<std::uint8_t> out;
    putU32(out, static_cast<std::uint32_t>(m.code.size()));
    out.insert(out.end(), m.code.begin(), m.code.end());
    putU32(out, static_cast<std::uint32_t>(m.symbols.size()));
    for (const ModuleSymbol& s : m.symbols) {
        putName(out, s.name);
        putU32(out, s.offset);
    }
    for (const auto* table : {&m.relative, &m.absolute}) {
        putU32(out, static_cast<std::uint32_t>(table->size()));
        for (const ModuleFixup& f : *table) {
            putName(out, f.symbol);
            putU32(out, f.offset);
        }
    }
    return out;
}

}  // namespace trelm
