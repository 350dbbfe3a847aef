#include "startup/declaration.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <string>

#include "startup/libraries.hpp"
#include "startup/symbol_registry.hpp"

namespace trelm {
namespace {

TEST(Declaration, ParsesResultParametersAndDefaults) {
    constexpr Declaration d = parseDeclaration("PositionEntity%entity#x#y#z%global=0");
    static_assert(d.valid);
    EXPECT_EQ(d.result, Sigil::None);
    EXPECT_EQ(d.name, "PositionEntity");
    ASSERT_EQ(d.paramCount, 5u);
    EXPECT_EQ(d.params[0].type, Sigil::Int);
    EXPECT_EQ(d.params[0].name, "entity");
    EXPECT_EQ(d.params[1].type, Sigil::Float);
    EXPECT_FALSE(d.params[3].hasDefault);
    EXPECT_TRUE(d.params[4].hasDefault);
    EXPECT_EQ(d.params[4].defaultText, "0");

    constexpr Declaration title = parseDeclaration("AppTitle$title$close_prompt=\\\"\\\"");
    static_assert(title.valid);
    EXPECT_TRUE(title.params[1].hasDefault);
    EXPECT_EQ(title.params[1].type, Sigil::String);

    constexpr Declaration millis = parseDeclaration("%MilliSecs");
    static_assert(millis.valid && millis.result == Sigil::Int && millis.paramCount == 0);
    EXPECT_EQ(parseDeclaration("#Rnd#from#to=1").params[1].defaultText, "1");
    EXPECT_EQ(parseDeclaration("X%a=-1").params[0].defaultText, "-1");
}

TEST(Declaration, RejectsMalformedText) {
    for (const char* bad : {"", "%", "9Lives", "Name%", "Name%x=", "Name%x=abc", "Name$s=0", "Name%a=1%b",
                            "Name x", "Name%x=1a"}) {
        EXPECT_FALSE(parseDeclaration(bad).valid) << bad;
    }
}

TEST(Declaration, TranslatesRegisteredNamesToModuleNames) {
    const std::pair<const char*, const char*> cases[] = {
        {"_kxStrLoad", "__kxStrLoad"},
        {"%MilliSecs", "_fmillisecs"},
        {"PositionEntity%entity#x#y#z%global=0", "_fpositionentity"},
        {"AppTitle$title$close_prompt=\\\"\\\"", "_fapptitle"},
        {"!%Hidden%x", "_fhidden"},
        {"End", "_fend"},
        {"$Str_Thing$a", "_fstr_thing"},
    };
    for (auto [registered, module] : cases) EXPECT_EQ(moduleNameOf(registered), module) << registered;
}

// Every command the runtime registers is one of the declarations the finished
// runtime must register, spelled exactly.
TEST(Declaration, EveryRegisteredCommandIsAKnownDeclaration) {
    std::ifstream in(TRELM_TEST_DATA_DIR "/declarations.txt");
    ASSERT_TRUE(in);
    std::set<std::string> known;
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) known.insert(line);
    EXPECT_EQ(known.size(), 536u);
    for (const std::string& d : known) EXPECT_TRUE(parseDeclaration(d).valid) << d;

    Registrar registrar;
    linkAllLibraries(registrar);
    int commands = 0;
    for (const Registration& r : registrar.registrations()) {
        if (r.name.front() == '_') continue;
        ++commands;
        EXPECT_TRUE(known.count(r.name)) << r.name;
        EXPECT_NE(r.cFunction, nullptr) << r.name;
    }
    EXPECT_GE(commands, 16);
}

}  // namespace
}  // namespace trelm
