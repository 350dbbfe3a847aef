// The run from the inside: library order, start-up failures, the ways a run
// ends, and the system commands called from a C++ entry.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cfenv>
#include <cmath>
#include <string>
#include <vector>

#include "language/language_library.hpp"
#include "language/runtime_string.hpp"
#include "platform/app_runtime.hpp"
#include "recording_host.hpp"
#include "startup/command_line.hpp"
#include "startup/host_runtime.hpp"
#include "startup/run.hpp"
#include "startup/runtime_error.hpp"
#include "startup/system_commands.hpp"

namespace trelm {
namespace {

using testing_support::RecordingHost;

// --- library sequence -------------------------------------------------------

std::vector<std::string> g_events;
int g_failAt = -1;

constexpr std::array<const char*, 12> kWords = {"basic",   "math",  "string", "stream", "sockets", "filesystem",
                                               "bank",    "graphics", "input", "audio", "multiplay", "trelm3d"};

template <int I>
bool fakeCreate() {
    g_events.push_back(std::string("create ") + kWords[I]);
    return I != g_failAt;
}
template <int I>
void fakeDestroy() {
    g_events.push_back(std::string("destroy ") + kWords[I]);
}

template <int... I>
std::array<CommandLibrary, 13> makeLibraries(std::integer_sequence<int, I...>) {
    return {CommandLibrary{kWords[I], nullptr, fakeCreate<I>, fakeDestroy<I>}...,
            CommandLibrary{nullptr, nullptr, nullptr, nullptr}};
}

class LibrarySequence : public testing::Test {
protected:
    void SetUp() override {
        g_events.clear();
        g_failAt = -1;
        libs_ = makeLibraries(std::make_integer_sequence<int, 12>());
        for (std::size_t i = 0; i < libs_.size(); ++i) ptrs_[i] = &libs_[i];
        app_ = AppRuntime::create("", &host_);
        ASSERT_TRUE(app_);
    }
    const char* run(void (*entry)()) { return runLibrarySequence(ptrs_, *app_, true, entry); }

    RecordingHost host_;
    std::array<CommandLibrary, 13> libs_;
    std::array<const CommandLibrary*, 13> ptrs_;
    std::unique_ptr<AppRuntime> app_;
};

TEST_F(LibrarySequence, CreatesInOrderAndDestroysInReverse) {
    EXPECT_EQ(run([] { g_events.push_back("entry"); }), nullptr);
    std::vector<std::string> expected;
    for (const char* w : kWords) expected.push_back(std::string("create ") + w);
    expected.push_back("entry");
    for (auto it = kWords.rbegin(); it != kWords.rend(); ++it) expected.push_back(std::string("destroy ") + *it);
    EXPECT_EQ(g_events, expected);
    ASSERT_EQ(host_.messages.size(), 1u);
    EXPECT_EQ(host_.messages[0].text, "Program has ended");
    EXPECT_FALSE(host_.messages[0].serious);
}

TEST_F(LibrarySequence, AFailedCreationUndoesTheOthersAndSkipsTheProgram) {
    g_failAt = 9;  // audio
    EXPECT_STREQ(run([] { g_events.push_back("entry"); }), "Unable to start program");
    std::vector<std::string> expected;
    for (int i = 0; i <= 9; ++i) expected.push_back(std::string("create ") + kWords[i]);
    for (int i = 8; i >= 0; --i) expected.push_back(std::string("destroy ") + kWords[i]);
    EXPECT_EQ(g_events, expected);
    ASSERT_EQ(host_.messages.size(), 1u);
    EXPECT_EQ(host_.messages[0].text, "Startup Error: audio_create failed");
    EXPECT_FALSE(host_.messages[0].serious);
}

TEST_F(LibrarySequence, ARuntimeErrorEndsTheRunWithItsMessage) {
    const char* result = run([] { raiseRuntimeError("Entity does not exist"); });
    EXPECT_STREQ(result, "Entity does not exist");
    EXPECT_EQ(host_.errors(), std::vector<std::string>{"Entity does not exist"});
    EXPECT_EQ(g_events.back(), "destroy basic");
}

TEST_F(LibrarySequence, AnEndRequestBeforeTheStartSkipsTheProgram) {
    app_->postEndRequest();
    EXPECT_EQ(run([] { g_events.push_back("entry"); }), nullptr);
    EXPECT_EQ(std::count(g_events.begin(), g_events.end(), "entry"), 0);
    EXPECT_EQ(g_events.back(), "destroy basic");
}

// --- whole runs with C++ entries ----------------------------------------------

RecordingHost* g_host = nullptr;

void runWithHost(RecordingHost& host, void (*entry)(), const char* commandLine = "") {
    g_host = &host;
    runtimeGetRuntime()->runModule(entry, commandLine, &host);
    g_host = nullptr;
}

std::string str(RuntimeString* s) { return takeString(s); }

TEST(Run, CommandLineIsTrimmedAndStringsAreReleasedAtTheEnd) {
    RecordingHost host;
    runWithHost(host, [] {
        cmd_DebugLog(cmd_CommandLine());
        newString("left in a variable");
        cmd_RuntimeStats();
    }, "   -opt  a  ");
    ASSERT_GE(host.logs.size(), 2u);
    EXPECT_EQ(host.logs[0], "-opt  a");
    EXPECT_EQ(host.logs[1], "Active strings :1");
    EXPECT_EQ(liveStringCount(), 0);
}

TEST(Run, RuntimeErrorCarriesAtMost255Bytes) {
    RecordingHost host;
    runWithHost(host, [] {
        cmd_RuntimeError(newString(std::string(300, 'x')));
        cmd_DebugLog(newString("not reached"));
    });
    ASSERT_EQ(host.errors().size(), 1u);
    EXPECT_EQ(host.errors()[0], std::string(255, 'x'));
    EXPECT_TRUE(host.logs.empty());

    RecordingHost empty;
    runWithHost(empty, [] { cmd_RuntimeError(newString("")); });
    EXPECT_EQ(empty.errors(), std::vector<std::string>{""});
}

TEST(Run, EndIsQuietAndNoProgramEndedIsReported) {
    RecordingHost host;
    runWithHost(host, [] {
        cmd_End();
        cmd_DebugLog(newString("not reached"));
    });
    EXPECT_TRUE(host.messages.empty());
    EXPECT_TRUE(host.logs.empty());
}

TEST(Run, FloatsRoundToNearestWithExceptionsMaskedDuringTheRunOnly) {
    RecordingHost host;
    // A caller that traps division by zero and rounds upwards gets that back after the run.
    feenableexcept(FE_DIVBYZERO);
    std::fesetround(FE_UPWARD);
    runWithHost(host, [] {
        volatile float zero = 0.0f;
        float inf = 1.0f / zero;
        cmd_DebugLog(newString(std::isinf(inf) ? "inf" : "finite"));
        cmd_DebugLog(newString(std::fegetround() == FE_TONEAREST ? "nearest" : "other"));
    });
    const bool restored = std::fegetround() == FE_UPWARD && (fegetexcept() & FE_DIVBYZERO);
    std::fesetenv(FE_DFL_ENV);
    EXPECT_TRUE(restored);
    EXPECT_EQ(host.logs, (std::vector<std::string>{"inf", "nearest"}));
    EXPECT_TRUE(host.errors().empty());
}

TEST(Run, EnvironmentAndSystemProperties) {
    RecordingHost host;
    runWithHost(host, [] {
        cmd_SetEnv(newString("TRELM_TEST_VAR"), newString("value 1"));
        cmd_DebugLog(cmd_GetEnv(newString("TRELM_TEST_VAR")));
        cmd_SetEnv(newString("TRELM_TEST_VAR"), newString(""));
        cmd_DebugLog(cmd_GetEnv(newString("TRELM_TEST_VAR")));
        cmd_DebugLog(cmd_GetEnv(newString("TRELM_SURELY_UNSET_VARIABLE")));
        cmd_SetEnv(newString("BAD=NAME"), newString("x"));
        std::string upper = str(cmd_SystemProperty(newString("APPDIR")));
        std::string lower = str(cmd_SystemProperty(newString("appdir")));
        cmd_DebugLog(newString(upper == lower && !upper.empty() && upper.back() == '/' ? "appdir ok" : upper));
        cmd_DebugLog(cmd_SystemProperty(newString("direct3d7")));
    });
    EXPECT_EQ(host.logs, (std::vector<std::string>{"value 1", "", "", "appdir ok", ""}));
    EXPECT_EQ(std::getenv("BAD"), nullptr);
}

TEST(Run, TimersCountTicksBetweenWaits) {
    RecordingHost host;
    runWithHost(host, [] {
        std::int32_t t = cmd_CreateTimer(100);
        cmd_WaitTimer(t);  // line up with a tick
        // A program that keeps up sees one tick per wait (at least once, on a busy machine).
        std::int32_t fast = 1000;
        for (int i = 0; i < 5; ++i) fast = std::min(fast, cmd_WaitTimer(t));
        cmd_Delay(95);
        std::int32_t slow = cmd_WaitTimer(t);
        cmd_FreeTimer(t);
        cmd_FreeTimer(t);  // already freed: nothing
        cmd_FreeTimer(0);
        cmd_DebugLog(cmd_SystemProperty(newString("unknown")));
        g_host->logs.push_back(std::to_string(fast));
        g_host->logs.push_back(std::to_string(slow));
        cmd_CreateTimer(60);  // left alive: the run frees it
    });
    ASSERT_EQ(host.logs.size(), 3u);
    EXPECT_EQ(host.logs[1], "1");
    EXPECT_GE(std::stoi(host.logs[2]), 8);  // ~10 ticks went by while the program was slow
    EXPECT_TRUE(host.errors().empty());
}

TEST(Run, TimerRatesOutOfRangeAreRuntimeErrors) {
    const std::pair<std::int32_t, const char*> cases[] = {
        {0, "Integer divide by zero"},
        {-5, "Timer rate must be from 1 to 1000 ticks per second"},
        {1001, "Timer rate must be from 1 to 1000 ticks per second"},
    };
    for (auto [rate, message] : cases) {
        RecordingHost host;
        static std::int32_t s_rate;
        s_rate = rate;
        runWithHost(host, [] { cmd_CreateTimer(s_rate); });
        EXPECT_EQ(host.errors(), std::vector<std::string>{message}) << rate;
    }
}

TEST(Run, AHostRequestingTheEndStopsADelay) {
    RecordingHost host;
    runWithHost(host, [] {
        runtimeGetRuntime()->requestEnd();
        cmd_Delay(10000);
        cmd_DebugLog(newString("not reached"));
    });
    EXPECT_TRUE(host.logs.empty());
    EXPECT_TRUE(host.errors().empty());
}

TEST(Run, RequestsOutsideARunDoNothing) {
    EXPECT_FALSE(runActive());
    runtimeGetRuntime()->requestSuspend();
    runtimeGetRuntime()->requestResume();
    runtimeGetRuntime()->requestEnd();
    RecordingHost host;
    runWithHost(host, [] { cmd_DebugLog(newString("ran")); });
    EXPECT_EQ(host.logs, std::vector<std::string>{"ran"});
}

// --- command line ---------------------------------------------------------------

TEST(CommandLine, ArgumentsOfAWholeCommandLine) {
    const std::pair<const char*, const char*> cases[] = {
        {"\"C:\\Program Files\\game.exe\"   -opt  a  ", "   -opt  a  "},
        {"game.exe", ""},
        {"\"game.exe\"", ""},
        {"\"unclosed name -x", ""},
        {"   game.exe -x", "-x"},
        {"game.exe  two  blanks", " two  blanks"},
    };
    for (auto [line, args] : cases) EXPECT_EQ(argumentsOfCommandLine(line), args) << line;
}

TEST(CommandLine, JoinsProcessArguments) {
    const char* args[] = {"-opt", "a b", "", "z"};
    EXPECT_EQ(joinArguments(args), "-opt \"a b\" \"\" z");
}

}  // namespace
}  // namespace trelm
