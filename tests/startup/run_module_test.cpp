// End to end: trelm-run links assembled modules and runs them; what a run
// prints and how it ends is checked from outside the process.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace {

struct Outcome {
    int exitCode = -1;
    std::string out, err;
};

std::string slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

Outcome runTool(const std::string& args, const std::string& env = "") {
    char outPath[] = "/tmp/trelm-run-out-XXXXXX";
    char errPath[] = "/tmp/trelm-run-err-XXXXXX";
    close(mkstemp(outPath));
    close(mkstemp(errPath));
    std::string cmd = env + " timeout 60 " TRELM_RUN_PATH " " + args + " >" + outPath + " 2>" + errPath + " </dev/null";
    int status = std::system(cmd.c_str());
    Outcome o;
    o.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    o.out = slurp(outPath);
    o.err = slurp(errPath);
    std::remove(outPath);
    std::remove(errPath);
    return o;
}

std::string module(const char* name) { return std::string(TRELM_MODULE_DIR "/") + name + ".tbm"; }

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

struct Case {
    const char* name;
    const char* module;
    std::string args;
    int exitCode;
    std::vector<std::string> outHas, outLacks, errHas, errLacks;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class RunModule : public testing::TestWithParam<Case> {};

TEST_P(RunModule, PrintsAndEndsAsExpected) {
    const Case& c = GetParam();
    std::string moduleArg = c.module[0] == '/' ? c.module : module(c.module);
    Outcome o = runTool(c.args + " " + moduleArg);
    EXPECT_EQ(o.exitCode, c.exitCode) << o.err;
    for (const auto& s : c.outHas) EXPECT_TRUE(contains(o.out, s)) << "stdout lacks " << s << ":\n" << o.out;
    for (const auto& s : c.outLacks) EXPECT_FALSE(contains(o.out, s)) << "stdout has " << s << ":\n" << o.out;
    for (const auto& s : c.errHas) EXPECT_TRUE(contains(o.err, s)) << "stderr lacks " << s << ":\n" << o.err;
    for (const auto& s : c.errLacks) EXPECT_FALSE(contains(o.err, s)) << "stderr has " << s << ":\n" << o.err;
}

const std::string kEnded = "info: Program has ended";

INSTANTIATE_TEST_SUITE_P(
    Debug, RunModule,
    testing::Values(
        Case{"hello", "hello", "--debug", 0,
             {"Hello from a module\n", "3.14159\n", "millisecs ", "Infinity\n"}, {}, {kEnded}, {}},
        Case{"runtime_error", "runtime_error", "--debug", 0, {"before\n"}, {"after"}, {"error: Boom\n"}, {kEnded}},
        Case{"end", "end", "--debug", 0, {}, {"after End"}, {}, {kEnded}},
        Case{"divide_by_zero", "divide_by_zero", "--debug", 0, {}, {}, {"error: Integer divide by zero\n"}, {kEnded}},
        Case{"stack_overflow", "stack_overflow", "--debug", 0, {}, {}, {"error: Stack overflow!\n"}, {kEnded}},
        Case{"bad_access", "bad_access", "--debug", 0, {}, {}, {"error: Memory access violation\n"}, {"Illegal"}},
        Case{"illegal", "illegal", "--debug", 0, {}, {}, {"error: Illegal instruction\n"}, {}},
        Case{"shadow", "shadow", "--debug", 0, {"the module's own CommandLine\n"}, {}, {kEnded}, {}},
        Case{"missing_symbol", "missing_symbol", "--debug", 0, {}, {}, {"Can't find symbol: _fnosuchcommand\n"}, {kEnded}},
        Case{"wrong_case", "wrong_case", "--debug", 0, {}, {}, {"Can't find symbol: _fMilliSecs\n"}, {}},
        Case{"no_file", "/nonexistent/module.tbm", "--debug", 255, {}, {}, {"Unable to run Trelm Basic module\n"}, {}},
        Case{"not_a_module", TRELM_TEST_DATA_DIR "/declarations.txt", "--debug", 255, {}, {},
             {"Unable to run Trelm Basic module\n"}, {}},
        Case{"command_line", "command_line", "--debug", 0,
             {"Active strings :0\n", "Active objects :0\n", "Unreleased objs:0\n", "timer done\n"},
             {}, {kEnded}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

// Arguments go after the module; --debug must come first.
TEST(RunModuleArgs, ArgumentsBecomeTheCommandLine) {
    Outcome o = runTool("--debug " + module("command_line") + " -opt \"a b\" z");
    EXPECT_TRUE(contains(o.out, "-opt \"a b\" z\n")) << o.out;
}

// Without a debugging host only serious messages are shown, as a dialog (here
// routed to stderr), and link failures are dialogs too.
TEST(RunModuleArgs, WithoutDebugOnlySeriousMessagesAreShown) {
    Outcome error = runTool(module("runtime_error"));
    EXPECT_EQ(error.exitCode, 0);
    EXPECT_EQ(error.out, "");
    EXPECT_TRUE(contains(error.err, "Error!: Boom")) << error.err;
    EXPECT_FALSE(contains(error.err, "Program has ended"));

    Outcome ended = runTool(module("end"));
    EXPECT_EQ(ended.exitCode, 0);
    EXPECT_FALSE(contains(ended.err, "Error!")) << ended.err;

    Outcome missing = runTool(module("missing_symbol"));
    EXPECT_EQ(missing.exitCode, 0);
    EXPECT_TRUE(contains(missing.err, "Can't find symbol: _fnosuchcommand")) << missing.err;
}

TEST(RunModuleArgs, ListSymbolsPrintsTheWholeWalkInOrder) {
    Outcome o = runTool("--list-symbols");
    EXPECT_EQ(o.exitCode, 0);
    std::istringstream lines(o.out);
    std::vector<std::string> names;
    for (std::string line; std::getline(lines, line);) names.push_back(line);
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
    EXPECT_NE(std::find(names.begin(), names.end(), "%MilliSecs"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), "_kxStrConst"), names.end());
}

}  // namespace
