#include "platform/system_properties.hpp"

#include "platform/app_runtime.hpp"
#include "platform/platform_test_support.hpp"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <filesystem>
#include <sys/utsname.h>

namespace trelm {
namespace {

namespace fs = std::filesystem;
using test::ScopedEnv;

class SystemPropertyTest : public ::testing::Test {
protected:
    void SetUp() override {
        app = AppRuntime::create("", nullptr);
        ASSERT_NE(app, nullptr);
    }
    ScopedEnv video{"SDL_VIDEODRIVER", "dummy"};
    std::unique_ptr<AppRuntime> app;
};

TEST_F(SystemPropertyTest, NamesInAnyCase) {
    for (const char* name : {"cpu", "os", "appdir", "apphinstance", "systemdir", "tempdir"}) {
        std::string upper = name;
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        const std::string value = app->systemProperty(name);
        EXPECT_FALSE(value.empty()) << name;
        EXPECT_EQ(app->systemProperty(upper), value) << name;
    }
    EXPECT_EQ(app->systemProperty("AppDir"), app->systemProperty("appdir"));
}

TEST_F(SystemPropertyTest, NothingForUnknownAbsentOrClosed) {
    for (const char* name : {"", "nonsense", "windowsdir", "WindowsDir", "direct3d7", "direct3ddevice7",
                             "directdraw7", "directinput7", "appdir/", " cpu"})
        EXPECT_EQ(app->systemProperty(name), "") << name;
}

TEST_F(SystemPropertyTest, FoldersEndWithOneSlashAndExist) {
    for (const char* name : {"appdir", "systemdir", "tempdir"}) {
        const std::string folder = app->systemProperty(name);
        ASSERT_TRUE(folder.ends_with("/")) << name << ": " << folder;
        EXPECT_FALSE(folder.size() > 1 && folder.ends_with("//")) << name << ": " << folder;
        EXPECT_TRUE(fs::is_directory(folder)) << name << ": " << folder;
    }
    EXPECT_EQ(fs::path(app->systemProperty("appdir")), fs::canonical("/proc/self/exe").parent_path() / "");
    EXPECT_TRUE(fs::exists(app->systemProperty("systemdir") + "libc.so.6"));
}

TEST_F(SystemPropertyTest, TempDirFollowsTmpdir) {
    const struct {
        std::optional<std::string> tmpdir;
        const char* expected;
    } cases[] = {
        {std::nullopt, "/tmp/"}, {"", "/tmp/"}, {"/var/tmp", "/var/tmp/"}, {"/var/tmp//", "/var/tmp/"}, {"/", "/"},
    };
    for (const auto& c : cases) {
        ScopedEnv tmp("TMPDIR", c.tmpdir);
        EXPECT_EQ(app->systemProperty("tempdir"), c.expected) << c.tmpdir.value_or("(unset)");
    }
}

TEST_F(SystemPropertyTest, MachineValuesAreThisMachines) {
    utsname u{};
    ASSERT_EQ(::uname(&u), 0);
    EXPECT_EQ(app->systemProperty("os"), std::string(u.sysname) + " " + u.release);

    const std::string cpu = app->systemProperty("cpu");
    EXPECT_EQ(cpu.find("Genuine"), std::string::npos) << "vendor names are shortened: " << cpu;

    // The instance is where the executable image lies: its ELF header.
    const std::string instance = app->systemProperty("apphinstance");
    ASSERT_EQ(instance.find_first_not_of("0123456789"), std::string::npos) << instance;
    const auto* image = reinterpret_cast<const char*>(std::stoull(instance));
    EXPECT_EQ(std::memcmp(image, "\x7f" "ELF", 4), 0);

    EXPECT_EQ(app->systemProperty("apphwnd"), "") << "the dummy driver has no native window";
}

TEST(FolderWithSlash, ExactlyOne) {
    const struct {
        const char* given;
        const char* expected;
    } cases[] = {{"", ""}, {"/", "/"}, {"///", "/"}, {"/tmp", "/tmp/"}, {"/tmp/", "/tmp/"}, {"/tmp///", "/tmp/"},
                 {"rel", "rel/"}};
    for (const auto& c : cases) EXPECT_EQ(folderWithSlash(c.given), c.expected) << c.given;
}

}  // namespace
}  // namespace trelm
