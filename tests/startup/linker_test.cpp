#include "startup/linker.hpp"

#include <gtest/gtest.h>

#include <cstring>

#include "startup/module_file.hpp"

namespace trelm {
namespace {

std::int32_t fieldAt(const LinkResult& r, std::uint32_t offset) {
    std::int32_t v;
    std::memcpy(&v, static_cast<const std::uint8_t*>(r.base) + offset, 4);
    return v;
}

void putField(ModuleFile& m, std::uint32_t offset, std::int32_t v) { std::memcpy(m.code.data() + offset, &v, 4); }

// 16 bytes of code: a relative field at 4 and an absolute field at 8.
ModuleFile sample() {
    ModuleFile m;
    m.code.assign(16, 0x90);
    putField(m, 4, -4);
    putField(m, 8, 100);
    m.symbols = {{"__MAIN", 0}, {"_fown", 12}};
    return m;
}

const RuntimeNames kRuntime = {{"_fcls", 0x10000}, {"_fmillisecs", 0x20000}, {"__kxStrLoad", 0x30000}};

TEST(Linker, PatchesRelativeAsDisplacementAndAbsoluteWithAddend) {
    ModuleFile m = sample();
    m.relative = {{"_fown", 4}};
    m.absolute = {{"_fmillisecs", 8}};
    LinkResult r = linkModule(m, kRuntime);
    ASSERT_EQ(r.status, LinkResult::Status::Linked);
    auto base = reinterpret_cast<std::uintptr_t>(r.base);
    EXPECT_LT(base + r.size, 0x80000000u);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(r.entry), base);
    // From the end of the field at 4 (offset 8) to the symbol at 12.
    EXPECT_EQ(fieldAt(r, 4), 12 - 8);
    EXPECT_EQ(fieldAt(r, 8), 100 + 0x20000);
}

TEST(Linker, RelativeFixupToARuntimeName) {
    ModuleFile m = sample();
    m.relative = {{"__kxStrLoad", 4}};
    LinkResult r = linkModule(m, kRuntime);
    ASSERT_EQ(r.status, LinkResult::Status::Linked);
    auto site = reinterpret_cast<std::intptr_t>(r.base) + 4;
    EXPECT_EQ(fieldAt(r, 4), static_cast<std::int32_t>(0x30000 - (site + 4)));
}

TEST(Linker, ModuleSymbolsWinOverRuntimeNames) {
    ModuleFile m = sample();
    m.symbols.push_back({"_fcls", 12});
    m.absolute = {{"_fcls", 8}};
    LinkResult r = linkModule(m, kRuntime);
    ASSERT_EQ(r.status, LinkResult::Status::Linked);
    EXPECT_EQ(static_cast<std::uintptr_t>(fieldAt(r, 8)), reinterpret_cast<std::uintptr_t>(r.base) + 12 + 100);
}

TEST(Linker, Failures) {
    struct Case {
        const char* what;
        ModuleFile module;
        LinkResult::Status status;
        const char* message;
        int exitCode;
    };
    ModuleFile wrongCase = sample();
    wrongCase.relative = {{"_fCls", 4}};
    ModuleFile missing = sample();
    missing.absolute = {{"_fnothere", 8}};
    ModuleFile outOfReach = sample();
    outOfReach.absolute = {{"_fhigh", 8}};
    ModuleFile siteOutside = sample();
    siteOutside.relative = {{"_fown", 13}};
    ModuleFile symbolPastEnd = sample();
    symbolPastEnd.symbols.push_back({"_fend", 16});
    ModuleFile empty;

    const Case cases[] = {
        {"names are exact, lower case", wrongCase, LinkResult::Status::MissingSymbol, "Can't find symbol: _fCls", 0},
        {"unknown name", missing, LinkResult::Status::MissingSymbol, "Can't find symbol: _fnothere", 0},
        {"target beyond 32 bits", outOfReach, LinkResult::Status::Unloadable, "Unable to run Trelm Basic module", -1},
        {"fix-up field past the code", siteOutside, LinkResult::Status::Unloadable, "Unable to run Trelm Basic module", -1},
        {"symbol at the code size", symbolPastEnd, LinkResult::Status::Unloadable, "Unable to run Trelm Basic module", -1},
        {"no code", empty, LinkResult::Status::Unloadable, "Unable to run Trelm Basic module", -1},
    };
    RuntimeNames names = kRuntime;
    names["_fhigh"] = std::uintptr_t{0x100000000};
    for (const Case& c : cases) {
        LinkResult r = linkModule(c.module, names);
        EXPECT_EQ(r.status, c.status) << c.what;
        EXPECT_EQ(r.failureMessage(), c.message) << c.what;
        EXPECT_EQ(r.exitCode(), c.exitCode) << c.what;
    }
}

TEST(Linker, SymbolAtLastByteIsAccepted) {
    ModuleFile m = sample();
    m.symbols.push_back({"_flast", 15});
    auto bytes = writeModuleFile(m);
    EXPECT_EQ(linkModuleBytes(bytes, kRuntime).status, LinkResult::Status::Linked);
    m.symbols.back().offset = 16;
    bytes = writeModuleFile(m);
    EXPECT_EQ(linkModuleBytes(bytes, kRuntime).status, LinkResult::Status::Unloadable);
}

TEST(ModuleFile, RoundTrips) {
    ModuleFile m = sample();
    m.relative = {{"_fown", 4}};
    m.absolute = {{"_fcls", 8}, {"__MAIN", 0}};
    auto read = readModuleFile(writeModuleFile(m));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->code, m.code);
    ASSERT_EQ(read->symbols.size(), 2u);
    EXPECT_EQ(read->symbols[1].name, "_fown");
    EXPECT_EQ(read->symbols[1].offset, 12u);
    ASSERT_EQ(read->absolute.size(), 2u);
    EXPECT_EQ(read->absolute[0].symbol, "_fcls");
}

TEST(ModuleFile, RejectsMalformedFiles) {
    ModuleFile m = sample();
    m.relative = {{"_fown", 4}};
    const std::vector<std::uint8_t> good = writeModuleFile(m);
    ASSERT_TRUE(readModuleFile(good));

    auto with = [&](auto edit) {
        auto bytes = good;
        edit(bytes);
        return bytes;
    };
    auto setU32 = [](std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) { std::memcpy(&b[at], &v, 4); };
    const std::size_t symbolCountAt = 4 + 16;
    const std::pair<const char*, std::vector<std::uint8_t>> cases[] = {
        {"empty file", {}},
        {"truncated code size", {1, 0}},
        {"code size beyond the data", with([&](auto& b) { setU32(b, 0, 1000); })},
        {"symbol count beyond the data", with([&](auto& b) { setU32(b, symbolCountAt, 0x7fffffff); })},
        {"truncated at every byte", std::vector<std::uint8_t>(good.begin(), good.end() - 1)},
        {"name without its NUL", with([&](auto& b) { b.resize(symbolCountAt + 4 + 3); })},
        {"missing fix-up tables", std::vector<std::uint8_t>(good.begin(), good.begin() + symbolCountAt + 4 + 7 + 4 + 6 + 4)},
        {"fix-up field outside the code", with([&](auto& b) { setU32(b, b.size() - 8, 14); })},
    };
    for (const auto& [what, bytes] : cases) EXPECT_FALSE(readModuleFile(bytes)) << what;

    // Every truncation of a good file fails cleanly.
    for (std::size_t n = 0; n < good.size(); ++n)
        EXPECT_FALSE(readModuleFile(std::span(good.data(), n))) << n;
}

}  // namespace
}  // namespace trelm
