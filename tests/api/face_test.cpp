// A C++ program using the runtime only through its public face: defaults,
// string conversion both ways, and runtime errors as C++ exceptions.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "trelm/commands.hpp"
#include "trelm/program.hpp"

namespace {

struct Seen {
    std::string commandLine, env, cleared, unset;
    bool afterError = false;
    bool destructorRan = false;
    std::int32_t ticks = 0;
};
Seen g_seen;

struct SetsFlagWhenDestroyed {
    ~SetsFlagWhenDestroyed() { g_seen.destructorRan = true; }
};

void program() {
    g_seen.commandLine = trelm::CommandLine();
    trelm::AppTitle("Face test");  // the close prompt takes its declared default
    trelm::SetEnv("TRELM_FACE_TEST", "caf\xe9 au lait");
    g_seen.env = trelm::GetEnv("TRELM_FACE_TEST");
    trelm::SetEnv("TRELM_FACE_TEST", "");
    g_seen.cleared = trelm::GetEnv("TRELM_FACE_TEST");
    std::int32_t timer = trelm::CreateTimer(50);
    trelm::WaitTimer(timer);
    g_seen.ticks = 1000;
    for (int i = 0; i < 5; ++i) g_seen.ticks = std::min(g_seen.ticks, trelm::WaitTimer(timer));
    trelm::FreeTimer(timer);
    trelm::DebugLog("no host: goes nowhere");

    SetsFlagWhenDestroyed guard;
    trelm::RuntimeError("Face error");
    g_seen.afterError = true;
}

TEST(CommandFace, RunsACppProgramThroughThePublicApi) {
    g_seen = {};
    EXPECT_EQ(trelm::runProgram(program, "  --level 3  "), 0);
    EXPECT_EQ(g_seen.commandLine, "--level 3");
    EXPECT_EQ(g_seen.env, "caf\xe9 au lait");
    EXPECT_EQ(g_seen.cleared, "");
    EXPECT_EQ(g_seen.ticks, 1);
    // The error unwound the program as an exception: its destructors ran.
    EXPECT_FALSE(g_seen.afterError);
    EXPECT_TRUE(g_seen.destructorRan);
}

TEST(CommandFace, ArgumentText) {
    char a0[] = "prog", a1[] = "-x", a2[] = "two words";
    char* argv[] = {a0, a1, a2};
    EXPECT_EQ(trelm::argumentText(3, argv), "-x \"two words\"");
    EXPECT_EQ(trelm::argumentText(1, argv), "");
}

}  // namespace
