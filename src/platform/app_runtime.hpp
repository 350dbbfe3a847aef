// The one platform object of a run: the runtime window, its event pump, the
// suspend/resume/end logic, the close prompt and the machine's properties.
// Everything but the three post...Request operations belongs to the main thread.
#pragma once

#include "startup/runtime_error.hpp"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

struct SDL_Window;
union SDL_Event;

namespace trelm {

class DebugHost;

// Where the window's keyboard and mouse events go while the input system is
// open. Keys are key numbers (key_numbers.hpp); positions are in graphics
// coordinates; buttons are 1 left, 2 right, 3 middle; the wheel counts 120
// per notch.
class InputSink {
public:
    virtual void keyDown(int key) = 0;
    virtual void keyUp(int key) = 0;
    virtual void mouseMoved(int x, int y) = 0;
    virtual void mouseButton(int button, bool down) = 0;
    virtual void mouseWheel(int delta) = 0;
    // On suspension and resumption: keys and buttons held across them will
    // never see their release, so devices forget them.
    virtual void resetDevices() {}

protected:
    ~InputSink() = default;
};

enum class GraphicsKind : int { NoGraphics = 0, ScaledWindow = 1, Window = 2, FullScreen = 3 };

class AppRuntime final : public RunReporter {
public:
    // Null when an AppRuntime already exists. The command line is kept without
    // its outer blanks.
    static std::unique_ptr<AppRuntime> create(std::string_view commandLine, DebugHost* host);
    ~AppRuntime();
    AppRuntime(const AppRuntime&) = delete;
    AppRuntime& operator=(const AppRuntime&) = delete;

    // Handles every pending event; false once the program must end. While
    // suspended it blocks until resumed or ended.
    bool idle();
    // Waits `ms` milliseconds while handling events; false if the program must
    // end meanwhile. A zero or negative delay still handles pending events.
    bool delay(int ms);
    // Suspends as on focus loss, then waits until resumed or ended; whether
    // the program may go on.
    bool stop();

    // Callable from any thread; handled by the next idle.
    void postSuspendRequest();
    void postResumeRequest();
    void postEndRequest();

    // Both do nothing when already in that state.
    void suspend();
    void resume();

    // RunReporter: nothing once the end request was handled.
    void reportError(const char* text) override;
    int reportInfo(const char* text) override;
    void logText(const char* text) override;

    void debugStatement(std::int32_t a, std::int32_t b);
    void debugEnterFrame(std::int32_t a, std::int32_t b, std::int32_t c);
    void debugLeaveFrame();

    const std::string& commandLine() const { return commandLine_; }
    void setTitle(std::string title, std::string closePrompt);
    const std::string& title() const { return title_; }
    const std::string& closePrompt() const { return closePrompt_; }

    void setPointerVisible(bool visible);
    bool pointerVisible() const { return pointerVisible_; }
    // Moves the system pointer to graphics coordinates; nothing without graphics.
    void moveMouse(int x, int y);

    // Null closes the input path; events are dropped while suspended.
    void setInputSink(InputSink* sink) { sink_ = sink; }
    InputSink* inputSink() const { return sink_; }

    // Whether losing the focus suspends the program (set by the display modes).
    void setAutoSuspend(bool on) { autoSuspend_ = on; }
    bool autoSuspend() const { return autoSuspend_; }
    void setGraphicsKind(GraphicsKind kind);
    GraphicsKind graphicsKind() const { return graphicsKind_; }
    // The size of the open graphics mode, which mouse positions are mapped to.
    void setGraphicsSize(int width, int height);
    int graphicsWidth() const { return graphicsWidth_; }
    int graphicsHeight() const { return graphicsHeight_; }

    bool suspended() const { return suspended_; }
    bool running() const { return running_; }
    DebugHost* debugHost() const { return host_; }

    // The runtime window, or null when running headless (no video).
    // The runtime window, created hidden on first need (a graphics mode opens);
    // null without a display.
    SDL_Window* openWindow();
    SDL_Window* window() const { return window_; }
    // Whether the window can take an OpenGL context.
    bool windowHasOpenGL() const { return windowHasOpenGL_; }

    // ExecFile: starts a program or opens a document, without waiting.
    bool execute(std::string_view command);
    // SystemProperty: the name in any letter case; "" for unknown names.
    std::string systemProperty(std::string_view name) const;

private:
    AppRuntime(std::string commandLine, DebugHost* host);
    void postRequest(int request);
    void handleEvent(const SDL_Event& event);
    void handleRequest(int request);
    void handleClose();
    void deliverInput(const SDL_Event& event);
    void toGraphics(int& x, int& y) const;
    void updateCursor();
    void report(const char* text, bool serious, int* result);

    std::string commandLine_;
    std::string title_;
    std::string closePrompt_;
    DebugHost* host_;
    std::uint32_t serial_;
    std::uint32_t sdlSubsystems_ = 0;
    SDL_Window* window_ = nullptr;
    bool windowHasOpenGL_ = false;
    bool videoUnavailable_ = false;
    InputSink* sink_ = nullptr;
    GraphicsKind graphicsKind_ = GraphicsKind::NoGraphics;
    int graphicsWidth_ = 0;
    int graphicsHeight_ = 0;
    bool pointerVisible_ = true;
    bool autoSuspend_ = false;
    bool suspended_ = false;
    bool running_ = true;
    float wheelRemainder_ = 0;
    // An end request that could not be queued still ends the program.
    std::atomic<bool> endPending_{false};
};

}  // namespace trelm
