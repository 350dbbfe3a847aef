#include "platform/dialogs.hpp"

#include "platform/platform_test_support.hpp"

#include <gtest/gtest.h>

namespace trelm {
namespace {

using test::ScopedEnv;

class DialogTest : public ::testing::Test {
protected:
    void TearDown() override { setDialogResponder({}); }
    ScopedEnv dialogs{"TRELM_DIALOGS", "stderr"};
};

TEST_F(DialogTest, HeadlessDialogsGoToStderrAndAnswerOk) {
    const struct {
        DialogRequest request;
        const char* line;
    } cases[] = {
        {{"Memory access violation", "Error!", DialogIcon::Error, false}, "Error!: Memory access violation\n"},
        {{"Really quit?", "Marbles", DialogIcon::Warning, true}, "Marbles: Really quit?\n"},
        {{"no caption", "", DialogIcon::None, false}, "no caption\n"},
        {{"", "Error!", DialogIcon::Error, false}, "Error!: \n"},
    };
    for (const auto& c : cases) {
        ::testing::internal::CaptureStderr();
        const bool ok = showDialog(c.request);
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), c.line);
        EXPECT_TRUE(ok);
    }
}

// Without any display a box could never be answered, whatever the switch says.
TEST_F(DialogTest, NoDisplayNeverBlocks) {
    ScopedEnv noSwitch("TRELM_DIALOGS", std::nullopt);
    ScopedEnv noX("DISPLAY", std::nullopt);
    ScopedEnv noWayland("WAYLAND_DISPLAY", std::nullopt);
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(showDialog({"text", "caption", DialogIcon::Info, true}));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "caption: text\n");
}

TEST_F(DialogTest, ResponderAnswersInstead) {
    std::string seen;
    setDialogResponder([&](const DialogRequest& r) {
        seen = std::string(r.caption) + "|" + std::string(r.text);
        return false;
    });
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(showDialog({"Really quit?", "Marbles", DialogIcon::Warning, true}));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(seen, "Marbles|Really quit?");

    setDialogResponder({});
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(showDialog({"x", "", DialogIcon::None, false}));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "x\n");
}

TEST(DisplayText, Utf8PassesOtherBytesAreWindows1252) {
    const struct {
        const char* given;
        const char* expected;
    } cases[] = {
        {"", ""},
        {"plain", "plain"},
        {"Jo\xc3\xa3o", "Jo\xc3\xa3o"},                // already UTF-8
        {"Jo\xe3o", "Jo\xc3\xa3o"},                    // Latin letter
        {"\x80 5", "\xe2\x82\xac 5"},                  // euro sign
        {"\x93quoted\x94", "\xe2\x80\x9cquoted\xe2\x80\x9d"},
        {"\xc3", "\xc3\x83"},                          // a lone lead byte is not UTF-8
        {"\xed\xa0\x80", "\xc3\xad\xc2\xa0\xe2\x82\xac"},  // an encoded surrogate is not UTF-8
    };
    for (const auto& c : cases) EXPECT_EQ(toDisplayText(c.given), c.expected) << c.given;
}

}  // namespace
}  // namespace trelm
