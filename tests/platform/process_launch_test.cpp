#include "platform/process_launch.hpp"

#include "platform/app_runtime.hpp"
#include "platform/platform_test_support.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace trelm {
namespace {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;

TEST(ExecCommandSplit, FileAndParameters) {
    const struct {
        const char* command;
        const char* file;
        const char* parameters;
    } cases[] = {
        {"\"/opt/my games/run\" -level 3", "/opt/my games/run", "-level 3"},
        {"\"/opt/my games/run\"", "/opt/my games/run", ""},
        {"   \"q\"   x  y  ", "q", "x  y"},
        {"\"unclosed path", "unclosed path", ""},
        {"readme.txt", "readme.txt", ""},
        {"  prog   a  b  ", "prog", "a  b"},
        {"prog \"quoted arg\"", "prog", "\"quoted arg\""},
        {"\"\" x", "", "x"},
        {"", "", ""},
        {"    ", "", ""},
    };
    for (const auto& c : cases) {
        const ExecCommand split = splitExecCommand(c.command);
        EXPECT_EQ(split.file, c.file) << c.command;
        EXPECT_EQ(split.parameters, c.parameters) << c.command;
    }
}

TEST(ExecCommandSplit, ArgumentsAtBlanksWithQuotes) {
    const struct {
        const char* parameters;
        Args args;
    } cases[] = {
        {"", {}},
        {"   ", {}},
        {"-level 3", {"-level", "3"}},
        {"a  \"b c\"  d", {"a", "b c", "d"}},
        {"x\"y z\"w", {"xy zw"}},
        {"\"\" a", {"", "a"}},
        {"a;b $(id) `id` |x", {"a;b", "$(id)", "`id`", "|x"}},
        {"\"unclosed a b", {"unclosed a b"}},
    };
    for (const auto& c : cases) EXPECT_EQ(splitArguments(c.parameters), c.args) << c.parameters;
}

TEST(FindExecutable, OnlyRunnableFiles) {
    EXPECT_EQ(findExecutable("/usr/bin/touch"), "/usr/bin/touch");
    const std::string found = findExecutable("touch");
    EXPECT_TRUE(found.ends_with("/touch")) << found;
    EXPECT_EQ(findExecutable("/usr/bin"), "") << "a folder";
    EXPECT_EQ(findExecutable("no-such-program-anywhere"), "");
    EXPECT_EQ(findExecutable(""), "");
}

class LaunchTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "trelm-launch-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir = pattern;
    }
    void TearDown() override {
        test::eventually([] {
            reapFinishedChildren();
            return unreapedChildren() == 0;
        });
        fs::remove_all(dir);
    }
    bool appears(const fs::path& p) {
        return test::eventually([&] { return fs::exists(p); });
    }
    fs::path dir;
};

TEST_F(LaunchTest, ExecutableNeedsPermission) {
    const fs::path plain = dir / "plain.txt", script = dir / "script";
    for (const fs::path& p : {plain, script}) std::ofstream(p) << "#!/bin/true\n";
    fs::permissions(plain, fs::perms::owner_read | fs::perms::owner_write);
    fs::permissions(script, fs::perms::owner_all);
    EXPECT_EQ(findExecutable(plain.string()), "");
    EXPECT_EQ(findExecutable(script.string()), script.string());
}

// No shell sees the command: separators and expansions reach the program as
// plain text, quoted blanks stay inside one argument.
TEST_F(LaunchTest, ArgumentsReachTheProgramLiterally) {
    test::ScopedEnv video("SDL_VIDEODRIVER", "dummy");
    auto app = AppRuntime::create("", nullptr);
    ASSERT_NE(app, nullptr);
    const std::string d = dir.string();
    ASSERT_TRUE(app->execute("/usr/bin/touch " + d + "/a;b " + d + "/$HOME \"" + d + "/with blank\""));
    EXPECT_TRUE(appears(dir / "a;b"));
    EXPECT_TRUE(appears(dir / "$HOME"));
    EXPECT_TRUE(appears(dir / "with blank"));
    EXPECT_FALSE(fs::exists(dir / "a"));
    EXPECT_FALSE(fs::exists(dir / "with"));

    ASSERT_TRUE(app->execute("  \"/usr/bin/touch\"   " + d + "/quoted-program"));
    EXPECT_TRUE(appears(dir / "quoted-program"));

    // Found on PATH by its bare name.
    ASSERT_TRUE(app->execute("touch " + d + "/from-path"));
    EXPECT_TRUE(appears(dir / "from-path"));

    // Finished programs are collected by the pump.
    EXPECT_TRUE(test::eventually([&] {
        app->idle();
        return unreapedChildren() == 0;
    }));
}

TEST(Execute, EmptyCommandDoesNothing) {
    test::ScopedEnv video("SDL_VIDEODRIVER", "dummy");
    auto app = AppRuntime::create("", nullptr);
    ASSERT_NE(app, nullptr);
    const std::size_t before = unreapedChildren();
    EXPECT_FALSE(app->execute(""));
    EXPECT_FALSE(app->execute("    "));
    EXPECT_FALSE(app->execute("\"\" x"));
    EXPECT_EQ(unreapedChildren(), before);
}

}  // namespace
}  // namespace trelm
