#include "platform/app_runtime.hpp"

#include "platform/dialogs.hpp"
#include "platform/platform_test_support.hpp"
#include "startup/debug_host.hpp"

#include <SDL.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace trelm {
namespace {

using namespace std::chrono_literals;
using test::ScopedEnv;
using Clock = std::chrono::steady_clock;

class RecordingHost final : public DebugHost {
public:
    void onResumed() override { add("resumed"); }
    void onSuspended() override {
        add("suspended");
        suspendedCalls++;
    }
    void onStatement(std::int32_t a, std::int32_t b) override {
        add("statement " + std::to_string(a) + " " + std::to_string(b));
    }
    void onEnterFrame(std::int32_t a, std::int32_t b, std::int32_t c) override {
        add("enter " + std::to_string(a) + " " + std::to_string(b) + " " + std::to_string(c));
    }
    void onLeaveFrame() override { add("leave"); }
    void onLog(const char* text) override { add(std::string("log ") + text); }
    int onMessage(const char* text, bool serious) override {
        add(std::string(serious ? "error " : "info ") + text);
        return messageResult;
    }
    void onSystemEvent(std::int32_t) override { add("system"); }

    std::vector<std::string> events() {
        std::lock_guard lock(mutex);
        return log;
    }

    int messageResult = 0;
    std::atomic<int> suspendedCalls{0};

private:
    void add(std::string e) {
        std::lock_guard lock(mutex);
        log.push_back(std::move(e));
    }
    std::mutex mutex;
    std::vector<std::string> log;
};

using Events = std::vector<std::string>;

// A display-less video driver with real windows: every run is the same with
// or without a display.
class AppRuntimeTest : public ::testing::Test {
protected:
    void SetUp() override {
        app = AppRuntime::create("", &host);
        ASSERT_NE(app, nullptr);
        app->openWindow();
    }
    void TearDown() override {
        app.reset();
        setDialogResponder({});
    }

    void push(SDL_Event event) { ASSERT_EQ(SDL_PushEvent(&event), 1) << SDL_GetError(); }
    void pushQuit() {
        SDL_Event e{};
        e.type = SDL_QUIT;
        push(e);
    }

    ScopedEnv dialogs{"TRELM_DIALOGS", "stderr"};
    ScopedEnv video{"SDL_VIDEODRIVER", "dummy"};
    RecordingHost host;
    std::unique_ptr<AppRuntime> app;
};

TEST(AppRuntimeLifecycle, OnlyOneAtATimeAndAgainAfterwards) {
    ScopedEnv video("SDL_VIDEODRIVER", "dummy");
    for (int run = 0; run < 3; ++run) {
        auto first = AppRuntime::create("", nullptr);
        ASSERT_NE(first, nullptr) << "run " << run;
        EXPECT_EQ(AppRuntime::create("", nullptr), nullptr);
        EXPECT_TRUE(first->idle());
        EXPECT_TRUE(first->running());
        EXPECT_FALSE(first->suspended());
    }
}

// With whatever display the environment has (Xvfb in CI, none at all when run
// by hand): a window exactly when there is video, and never a blocking call.
TEST(AppRuntimeLifecycle, RunsWithTheEnvironmentsDisplayOrHeadless) {
    ScopedEnv dialogs("TRELM_DIALOGS", "stderr");
    for (int run = 0; run < 2; ++run) {
        auto app = AppRuntime::create("x", nullptr);
        ASSERT_NE(app, nullptr);
        EXPECT_EQ(app->window(), nullptr);  // until something needs one
        EXPECT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u);
        app->openWindow();
        const bool video = SDL_WasInit(SDL_INIT_VIDEO) != 0;
        EXPECT_EQ(app->window() != nullptr, video);
        if (app->window()) {
            EXPECT_TRUE(SDL_GetWindowFlags(app->window()) & SDL_WINDOW_HIDDEN);
            EXPECT_STREQ(SDL_GetWindowTitle(app->window()), " ");
            app->setTitle("Marbles", "");
            EXPECT_STREQ(SDL_GetWindowTitle(app->window()), "Marbles");
        }
        const std::string hwnd = app->systemProperty("AppHwnd");
        if (video && std::string(SDL_GetCurrentVideoDriver()) == "x11") {
            ASSERT_FALSE(hwnd.empty());
            EXPECT_EQ(hwnd.find_first_not_of("0123456789"), std::string::npos) << hwnd;
        } else if (!video) {
            EXPECT_EQ(hwnd, "");
        }
        app->postEndRequest();
        EXPECT_FALSE(app->idle());
    }
}

// Without any video driver the runtime runs on events alone.
TEST(AppRuntimeLifecycle, HeadlessWithoutVideo) {
    ScopedEnv video("SDL_VIDEODRIVER", "no-such-driver");
    ScopedEnv dialogs("TRELM_DIALOGS", "stderr");
    auto app = AppRuntime::create("", nullptr);
    ASSERT_NE(app, nullptr);
    EXPECT_EQ(app->openWindow(), nullptr);
    EXPECT_EQ(app->systemProperty("apphwnd"), "");
    app->setTitle("Marbles", "Really quit?");
    app->setPointerVisible(false);
    app->setGraphicsKind(GraphicsKind::Window);
    app->moveMouse(1, 1);
    EXPECT_TRUE(app->delay(20));
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    ASSERT_EQ(SDL_PushEvent(&quit), 1);
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(app->idle()) << "the unanswerable prompt counts as OK";
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Marbles: Really quit?\n");
}

TEST(AppRuntimeLifecycle, CommandLineLosesOnlyOuterBlanks) {
    ScopedEnv video("SDL_VIDEODRIVER", "dummy");
    const struct {
        const char* given;
        const char* kept;
    } cases[] = {
        {"", ""},
        {"     ", ""},
        {"-opt  a", "-opt  a"},
        {"   -opt  a  ", "-opt  a"},
        {" \tx\t ", "\tx\t"},
    };
    for (const auto& c : cases) {
        auto app = AppRuntime::create(c.given, nullptr);
        ASSERT_NE(app, nullptr);
        EXPECT_EQ(app->commandLine(), c.kept) << '"' << c.given << '"';
    }
}

TEST_F(AppRuntimeTest, RequestsFromAnotherThreadSuspendResumeAndEnd) {
    std::thread([&] { app->postSuspendRequest(); }).join();
    std::thread other([&] {
        // The resume comes only after the pump has frozen the program.
        test::eventually([&] { return host.suspendedCalls > 0; });
        std::this_thread::sleep_for(30ms);
        app->postResumeRequest();
    });
    EXPECT_TRUE(app->idle());
    other.join();
    EXPECT_EQ(host.events(), (Events{"suspended", "resumed"}));
    EXPECT_FALSE(app->suspended());

    // Duplicates are ignored: no second notification.
    app->postResumeRequest();
    EXPECT_TRUE(app->idle());
    EXPECT_EQ(host.events().size(), 2u);

    std::thread([&] { app->postEndRequest(); }).join();
    EXPECT_FALSE(app->idle());
    EXPECT_FALSE(app->running());
    EXPECT_EQ(app->debugHost(), nullptr);
    EXPECT_FALSE(app->idle()) << "the end is final";

    app->reportError("late");
    EXPECT_EQ(app->reportInfo("late"), 0);
    app->logText("late");
    app->debugStatement(1, 2);
    EXPECT_EQ(host.events().size(), 2u) << "no notifications after the end";
}

TEST_F(AppRuntimeTest, DelayWaitsAboutTheTimeWhileEventsKeepArriving) {
    std::atomic<bool> done{false};
    std::thread noise([&] {
        while (!done) {
            SDL_Event e{};
            e.type = SDL_USEREVENT;
            SDL_PushEvent(&e);
            std::this_thread::sleep_for(5ms);
        }
    });
    const auto start = Clock::now();
    const bool goOn = app->delay(250);
    const auto elapsed = Clock::now() - start;
    done = true;
    noise.join();
    EXPECT_TRUE(goOn);
    EXPECT_GE(elapsed, 240ms);
    EXPECT_LT(elapsed, 2s);

    EXPECT_TRUE(app->delay(0));
    EXPECT_TRUE(app->delay(-5));
}

TEST_F(AppRuntimeTest, DelayDoesNotEndWhileSuspended) {
    app->suspend();
    const auto start = Clock::now();
    std::thread other([&] {
        std::this_thread::sleep_for(300ms);
        app->postResumeRequest();
    });
    EXPECT_TRUE(app->delay(20));
    const auto elapsed = Clock::now() - start;
    other.join();
    EXPECT_GE(elapsed, 290ms);
    EXPECT_LT(elapsed, 2s);
    EXPECT_EQ(host.events(), (Events{"suspended", "resumed"}));
}

TEST_F(AppRuntimeTest, EndRequestCutsDelayShort) {
    const auto start = Clock::now();
    std::thread other([&] {
        std::this_thread::sleep_for(50ms);
        app->postEndRequest();
    });
    EXPECT_FALSE(app->delay(10000));
    other.join();
    EXPECT_LT(Clock::now() - start, 2s);
}

TEST_F(AppRuntimeTest, StopWaitsUntilResumedOrEnded) {
    std::thread other([&] {
        test::eventually([&] { return host.suspendedCalls > 0; });
        app->postResumeRequest();
    });
    EXPECT_TRUE(app->stop());
    other.join();
    EXPECT_EQ(host.events(), (Events{"suspended", "resumed"}));

    std::thread ender([&] {
        test::eventually([&] { return host.suspendedCalls > 1; });
        app->postEndRequest();
    });
    EXPECT_FALSE(app->stop());
    ender.join();
}

TEST_F(AppRuntimeTest, ClosePromptCancelKeepsRunningOkEnds) {
    ASSERT_NE(app->window(), nullptr);
    std::vector<std::string> asked;
    bool answer = false;
    setDialogResponder([&](const DialogRequest& r) {
        EXPECT_EQ(r.icon, DialogIcon::Warning);
        EXPECT_TRUE(r.okCancel);
        asked.push_back(std::string(r.caption) + "|" + std::string(r.text));
        return answer;
    });
    app->setTitle("Marbles", "Really quit?");
    EXPECT_EQ(app->title(), "Marbles");
    EXPECT_EQ(app->closePrompt(), "Really quit?");

    SDL_Event windowClose{};
    windowClose.type = SDL_WINDOWEVENT;
    windowClose.window.event = SDL_WINDOWEVENT_CLOSE;
    windowClose.window.windowID = SDL_GetWindowID(app->window());

    pushQuit();
    push(windowClose);
    EXPECT_TRUE(app->idle());
    EXPECT_TRUE(app->running());
    EXPECT_EQ(asked, (std::vector<std::string>{"Marbles|Really quit?", "Marbles|Really quit?"}));

    answer = true;
    push(windowClose);
    EXPECT_FALSE(app->idle());
    EXPECT_EQ(app->debugHost(), nullptr);
}

TEST_F(AppRuntimeTest, CloseWithoutPromptEndsWithoutAsking) {
    bool asked = false;
    setDialogResponder([&](const DialogRequest&) { return asked = true; });
    app->setTitle("Marbles", "");
    pushQuit();
    EXPECT_FALSE(app->idle());
    EXPECT_FALSE(asked);
}

TEST_F(AppRuntimeTest, ErrorReportSuspendsPostsEndAndIsSerious) {
    app->reportError("Entity does not exist");
    EXPECT_TRUE(app->suspended());
    EXPECT_EQ(host.events(), (Events{"suspended", "error Entity does not exist"}));
    // A second report while suspended does not suspend again.
    app->reportError("again");
    EXPECT_EQ(host.events().back(), "error again");
    EXPECT_EQ(host.suspendedCalls, 1);
    EXPECT_FALSE(app->idle()) << "the posted end request ends the program even while suspended";
    EXPECT_EQ(app->debugHost(), nullptr);
}

TEST_F(AppRuntimeTest, InfoReportReturnsTheHostsAnswer) {
    host.messageResult = 7;
    EXPECT_EQ(app->reportInfo("Program has ended"), 7);
    EXPECT_EQ(host.events(), (Events{"suspended", "info Program has ended"}));
    EXPECT_FALSE(app->idle());
}

TEST_F(AppRuntimeTest, DebuggerHooksAndLogReachTheHost) {
    app->debugStatement(3, 4);
    app->debugEnterFrame(5, 6, 7);
    app->debugLeaveFrame();
    app->logText("Active strings :0");
    EXPECT_EQ(host.events(), (Events{"statement 3 4", "enter 5 6 7", "leave", "log Active strings :0"}));
}

TEST(AppRuntimeWithoutHost, ReportsDoNothing) {
    ScopedEnv video("SDL_VIDEODRIVER", "dummy");
    auto app = AppRuntime::create("", nullptr);
    ASSERT_NE(app, nullptr);
    app->reportError("x");
    EXPECT_EQ(app->reportInfo("x"), 0);
    EXPECT_FALSE(app->suspended());
    EXPECT_TRUE(app->idle());
}

TEST_F(AppRuntimeTest, FocusSuspendsOnlyWithAutoSuspend) {
    ASSERT_NE(app->window(), nullptr);
    SDL_Event focus{};
    focus.type = SDL_WINDOWEVENT;
    focus.window.windowID = SDL_GetWindowID(app->window());

    focus.window.event = SDL_WINDOWEVENT_FOCUS_LOST;
    push(focus);
    EXPECT_TRUE(app->idle());
    EXPECT_FALSE(app->suspended()) << "auto-suspend is off without graphics";

    app->setAutoSuspend(true);
    push(focus);
    focus.window.event = SDL_WINDOWEVENT_FOCUS_GAINED;
    push(focus);
    EXPECT_TRUE(app->idle());
    EXPECT_FALSE(app->suspended());
    EXPECT_EQ(host.events(), (Events{"suspended", "resumed"}));
}

// ---- input -------------------------------------------------------------------

class RecordingSink final : public InputSink {
public:
    void keyDown(int key) override { events.push_back("down " + std::to_string(key)); }
    void keyUp(int key) override { events.push_back("up " + std::to_string(key)); }
    void mouseMoved(int x, int y) override {
        events.push_back("move " + std::to_string(x) + " " + std::to_string(y));
    }
    void mouseButton(int button, bool down) override {
        events.push_back("button " + std::to_string(button) + (down ? " down" : " up"));
    }
    void mouseWheel(int delta) override { events.push_back("wheel " + std::to_string(delta)); }
    void resetDevices() override { events.push_back("reset"); }
    Events events;
};

class AppRuntimeInputTest : public AppRuntimeTest {
protected:
    void SetUp() override {
        AppRuntimeTest::SetUp();
        ASSERT_NE(app->window(), nullptr);
        app->setInputSink(&sink);
    }
    void key(Uint32 type, SDL_Scancode code, bool repeat = false) {
        SDL_Event e{};
        e.type = type;
        e.key.keysym.scancode = code;
        e.key.repeat = repeat;
        e.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
        push(e);
    }
    void motion(int x, int y) {
        SDL_Event e{};
        e.type = SDL_MOUSEMOTION;
        e.motion.x = x;
        e.motion.y = y;
        push(e);
    }
    RecordingSink sink;
};

TEST_F(AppRuntimeInputTest, KeysWithoutRepeatsOrUnknownKeys) {
    key(SDL_KEYDOWN, SDL_SCANCODE_RCTRL);
    key(SDL_KEYDOWN, SDL_SCANCODE_RCTRL, true);
    key(SDL_KEYDOWN, SDL_SCANCODE_RCTRL, true);
    key(SDL_KEYUP, SDL_SCANCODE_RCTRL);
    key(SDL_KEYDOWN, SDL_SCANCODE_UNKNOWN);
    key(SDL_KEYDOWN, SDL_SCANCODE_A);
    EXPECT_TRUE(app->idle());
    EXPECT_EQ(sink.events, (Events{"down 157", "up 157", "down 30"}));
}

TEST_F(AppRuntimeInputTest, NothingArrivesWhileSuspendedAndDevicesReset) {
    app->suspend();
    key(SDL_KEYDOWN, SDL_SCANCODE_A);
    motion(1, 1);
    app->postResumeRequest();
    EXPECT_TRUE(app->idle());
    EXPECT_EQ(sink.events, (Events{"reset", "reset"}));
    app->setInputSink(nullptr);
    key(SDL_KEYDOWN, SDL_SCANCODE_A);
    EXPECT_TRUE(app->idle());
    EXPECT_EQ(sink.events.size(), 2u);
}

TEST_F(AppRuntimeInputTest, MousePositionsMapToGraphicsAndClamp) {
    SDL_SetWindowSize(app->window(), 800, 600);
    app->setGraphicsSize(400, 300);
    const struct {
        GraphicsKind kind;
        int x, y;
        const char* expected;
    } cases[] = {
        // A client area twice the graphics size: the right edge is width - 1.
        {GraphicsKind::ScaledWindow, 799, 599, "move 399 299"},
        {GraphicsKind::ScaledWindow, 800, 600, "move 399 299"},
        {GraphicsKind::ScaledWindow, 101, 51, "move 50 25"},
        {GraphicsKind::ScaledWindow, -3, -1, "move 0 0"},
        {GraphicsKind::Window, 101, 51, "move 101 51"},
        {GraphicsKind::Window, 500, 20, "move 399 20"},
    };
    for (const auto& c : cases) {
        sink.events.clear();
        app->setGraphicsKind(c.kind);
        motion(c.x, c.y);
        EXPECT_TRUE(app->idle());
        EXPECT_EQ(sink.events, Events{c.expected}) << c.x << "," << c.y;
    }
}

TEST_F(AppRuntimeInputTest, ButtonsAndWheel) {
    for (Uint8 b : {SDL_BUTTON_LEFT, SDL_BUTTON_RIGHT, SDL_BUTTON_MIDDLE, SDL_BUTTON_X1}) {
        SDL_Event e{};
        e.type = SDL_MOUSEBUTTONDOWN;
        e.button.button = b;
        push(e);
        e.type = SDL_MOUSEBUTTONUP;
        push(e);
    }
    const struct {
        float notches;
        bool flipped;
    } wheels[] = {{1, false}, {-2, false}, {1, true}, {0.25f, false}, {0.25f, false}};
    for (const auto& w : wheels) {
        SDL_Event e{};
        e.type = SDL_MOUSEWHEEL;
        e.wheel.y = static_cast<Sint32>(w.notches);
        e.wheel.preciseY = w.notches;
        e.wheel.direction = w.flipped ? SDL_MOUSEWHEEL_FLIPPED : SDL_MOUSEWHEEL_NORMAL;
        push(e);
    }
    EXPECT_TRUE(app->idle());
    EXPECT_EQ(sink.events, (Events{"button 1 down", "button 1 up", "button 2 down", "button 2 up", "button 3 down",
                                   "button 3 up", "wheel 120", "wheel -240", "wheel -120", "wheel 30", "wheel 30"}));
}

TEST_F(AppRuntimeTest, PointerAndMouseMovesAreSafeInEveryKind) {
    for (auto kind : {GraphicsKind::NoGraphics, GraphicsKind::ScaledWindow, GraphicsKind::Window,
                      GraphicsKind::FullScreen}) {
        app->setGraphicsKind(kind);
        app->setGraphicsSize(kind == GraphicsKind::NoGraphics ? 0 : 400, 300);
        app->setPointerVisible(false);
        EXPECT_FALSE(app->pointerVisible());
        app->moveMouse(10, 10);
        app->setPointerVisible(true);
        EXPECT_TRUE(app->idle());
    }
}

}  // namespace
}  // namespace trelm
