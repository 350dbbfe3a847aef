#include "platform/app_runtime.hpp"

#include "platform/dialogs.hpp"
#include "platform/key_numbers.hpp"
#include "platform/process_launch.hpp"
#include "platform/system_properties.hpp"
#include "startup/debug_host.hpp"
#include "startup/text.hpp"

#include <SDL.h>

#include <algorithm>
#include <mutex>

namespace trelm {
namespace {

enum Request : int { suspendRequest = 1, resumeRequest = 2, endRequest = 3 };

std::atomic<bool> runtimeExists{false};
std::atomic<std::uint32_t> nextSerial{1};

// SDL hands out user event types per process and never takes them back.
Uint32 requestEventType() {
    static std::once_flag once;
    static Uint32 type = static_cast<Uint32>(-1);
    std::call_once(once, [] { type = SDL_RegisterEvents(1); });
    return type;
}

int mouseButtonNumber(Uint8 sdlButton) {
    switch (sdlButton) {
    case SDL_BUTTON_LEFT: return 1;
    case SDL_BUTTON_RIGHT: return 2;
    case SDL_BUTTON_MIDDLE: return 3;
    default: return 0;
    }
}

}  // namespace

std::unique_ptr<AppRuntime> AppRuntime::create(std::string_view commandLine, DebugHost* host) {
    bool expected = false;
    if (!runtimeExists.compare_exchange_strong(expected, true)) return nullptr;
    return std::unique_ptr<AppRuntime>(new AppRuntime(std::string(trimBlanks(commandLine)), host));
}

AppRuntime::AppRuntime(std::string commandLine, DebugHost* host)
    : commandLine_(std::move(commandLine)), host_(host), serial_(nextSerial.fetch_add(1)) {
    // The close button and our own requests end a run, not signals: a run that
    // does not pump must still die on SIGINT/SIGTERM.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // The window's own close event is the close request; a second one from
    // SDL would ask the close prompt twice.
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    requestEventType();

    // Video (the display connection and the window) waits until something
    // needs a window: a program that never opens graphics starts in a few
    // milliseconds and never touches the display.
    if (SDL_InitSubSystem(SDL_INIT_EVENTS) == 0) sdlSubsystems_ = SDL_INIT_EVENTS;
}

SDL_Window* AppRuntime::openWindow() {
    if (window_ || videoUnavailable_) return window_;
    if (!(sdlSubsystems_ & SDL_INIT_VIDEO)) {
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
            videoUnavailable_ = true;  // no display: stay headless
            return nullptr;
        }
        sdlSubsystems_ |= SDL_INIT_VIDEO;
    }
    // The 3D device later draws into this window, which needs GL from its
    // creation on; drivers without GL get a plain window.
    constexpr Uint32 flags = SDL_WINDOW_HIDDEN;
    window_ = SDL_CreateWindow(" ", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, 1, 1,
                               flags | SDL_WINDOW_OPENGL);
    windowHasOpenGL_ = window_ != nullptr;
    if (!window_) window_ = SDL_CreateWindow(" ", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, 1, 1, flags);
    if (window_ && !title_.empty()) SDL_SetWindowTitle(window_, toDisplayText(title_).c_str());
    return window_;
}

AppRuntime::~AppRuntime() {
    reapFinishedChildren();
    if (window_) SDL_DestroyWindow(window_);
    if (sdlSubsystems_ & SDL_INIT_EVENTS) SDL_FlushEvent(requestEventType());
    if (sdlSubsystems_) SDL_QuitSubSystem(sdlSubsystems_);
    if (SDL_WasInit(0) == 0) SDL_Quit();
    runtimeExists = false;
}

// ---- event pump -------------------------------------------------------------

bool AppRuntime::idle() {
    reapFinishedChildren();
    SDL_Event event;
    for (;;) {
        if (endPending_.exchange(false)) handleRequest(endRequest);
        if (suspended_ && running_) {
            // Frozen until an event arrives; the timeout only lets a lost end
            // request through.
            if (SDL_WaitEventTimeout(&event, 100)) handleEvent(event);
            continue;
        }
        if (SDL_PollEvent(&event)) {
            handleEvent(event);
            continue;
        }
        // A poll round stops at the events queued when it began; requests
        // made while handling those (the close button's end) belong to it too.
        if (SDL_PeepEvents(&event, 1, SDL_GETEVENT, requestEventType(), requestEventType()) == 1) {
            handleEvent(event);
            continue;
        }
        return running_;
    }
}

bool AppRuntime::delay(int ms) {
    const Uint64 start = SDL_GetTicks64();
    for (;;) {
        if (!idle()) return false;
        const Sint64 remaining = static_cast<Sint64>(ms) - static_cast<Sint64>(SDL_GetTicks64() - start);
        if (remaining < 1) return true;
        // Wakes early for an event, so an end request is not kept waiting.
        SDL_WaitEventTimeout(nullptr, static_cast<int>(std::min<Sint64>(remaining, 100)));
    }
}

bool AppRuntime::stop() {
    suspend();
    return idle();
}

void AppRuntime::postRequest(int request) {
    SDL_Event event{};
    event.type = requestEventType();
    event.user.code = request;
    event.user.data1 = reinterpret_cast<void*>(static_cast<std::uintptr_t>(serial_));
    if (SDL_PushEvent(&event) != 1 && request == endRequest) endPending_ = true;
}

void AppRuntime::postSuspendRequest() { postRequest(suspendRequest); }
void AppRuntime::postResumeRequest() { postRequest(resumeRequest); }
void AppRuntime::postEndRequest() { postRequest(endRequest); }

void AppRuntime::handleRequest(int request) {
    switch (request) {
    case suspendRequest: suspend(); break;
    case resumeRequest: resume(); break;
    case endRequest:
        host_ = nullptr;
        running_ = false;
        break;
    default: break;
    }
}

void AppRuntime::handleEvent(const SDL_Event& event) {
    if (event.type == requestEventType()) {
        // Requests left over from an earlier runtime are not ours.
        if (reinterpret_cast<std::uintptr_t>(event.user.data1) == serial_) handleRequest(event.user.code);
        return;
    }
    switch (event.type) {
    case SDL_QUIT: handleClose(); return;
    case SDL_WINDOWEVENT:
        if (!window_ || event.window.windowID != SDL_GetWindowID(window_)) return;
        switch (event.window.event) {
        case SDL_WINDOWEVENT_CLOSE: handleClose(); break;
        case SDL_WINDOWEVENT_FOCUS_LOST:
            if (autoSuspend_) suspend();
            break;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
            if (autoSuspend_) resume();
            break;
        default: break;
        }
        return;
    case SDL_KEYDOWN:
    case SDL_KEYUP:
    case SDL_MOUSEMOTION:
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
    case SDL_MOUSEWHEEL:
        if (sink_ && !suspended_) deliverInput(event);
        return;
    default: return;
    }
}

void AppRuntime::handleClose() {
    if (!closePrompt_.empty() &&
        !showDialog({closePrompt_, title_, DialogIcon::Warning, /*okCancel=*/true}))
        return;
    postEndRequest();
}

void AppRuntime::toGraphics(int& x, int& y) const {
    if (graphicsWidth_ <= 0 || graphicsHeight_ <= 0) return;
    if (window_ && (graphicsKind_ == GraphicsKind::ScaledWindow || graphicsKind_ == GraphicsKind::FullScreen)) {
        int cw = 0, ch = 0;
        SDL_GetWindowSize(window_, &cw, &ch);
        if (cw > 0 && ch > 0) {
            x = static_cast<int>(static_cast<std::int64_t>(x) * graphicsWidth_ / cw);
            y = static_cast<int>(static_cast<std::int64_t>(y) * graphicsHeight_ / ch);
        }
    }
    x = std::clamp(x, 0, graphicsWidth_ - 1);
    y = std::clamp(y, 0, graphicsHeight_ - 1);
}

void AppRuntime::deliverInput(const SDL_Event& event) {
    switch (event.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
        if (event.key.repeat) return;
        const int key = keyNumberForScancode(event.key.keysym.scancode);
        if (key == 0) return;
        if (event.type == SDL_KEYDOWN) sink_->keyDown(key);
        else sink_->keyUp(key);
        return;
    }
    case SDL_MOUSEMOTION: {
        int x = event.motion.x, y = event.motion.y;
        toGraphics(x, y);
        sink_->mouseMoved(x, y);
        return;
    }
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        if (const int button = mouseButtonNumber(event.button.button))
            sink_->mouseButton(button, event.type == SDL_MOUSEBUTTONDOWN);
        return;
    case SDL_MOUSEWHEEL: {
        // Fine-grained wheels send fractions of a notch; keep what does not
        // make a whole unit yet.
        float notches = event.wheel.preciseY != 0 ? event.wheel.preciseY : static_cast<float>(event.wheel.y);
        if (event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) notches = -notches;
        wheelRemainder_ += notches * 120.0f;
        const int delta = static_cast<int>(wheelRemainder_);
        wheelRemainder_ -= static_cast<float>(delta);
        if (delta != 0) sink_->mouseWheel(delta);
        return;
    }
    default: return;
    }
}

// ---- suspend and resume -----------------------------------------------------

void AppRuntime::suspend() {
    if (suspended_) return;
    // In full screen the desktop must come forward for whatever the user is
    // shown next.
    if (window_ && graphicsKind_ == GraphicsKind::FullScreen) SDL_MinimizeWindow(window_);
    if (sink_) sink_->resetDevices();
    suspended_ = true;
    updateCursor();
    if (host_) host_->onSuspended();
}

void AppRuntime::resume() {
    if (!suspended_) return;
    if (window_ && graphicsKind_ == GraphicsKind::FullScreen) {
        SDL_RestoreWindow(window_);
        SDL_RaiseWindow(window_);
    }
    if (sink_) sink_->resetDevices();
    suspended_ = false;
    updateCursor();
    if (host_) host_->onResumed();
}

void AppRuntime::updateCursor() {
    if (!window_) return;
    // SDL hides the pointer only while it is over our window, which is what a
    // hidden pointer means in a window.
    const bool show = suspended_ || (graphicsKind_ != GraphicsKind::FullScreen && pointerVisible_);
    SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE);
}

void AppRuntime::setPointerVisible(bool visible) {
    if (visible == pointerVisible_) return;
    pointerVisible_ = visible;
    updateCursor();
}

void AppRuntime::setGraphicsKind(GraphicsKind kind) {
    graphicsKind_ = kind;
    updateCursor();
}

void AppRuntime::setGraphicsSize(int width, int height) {
    graphicsWidth_ = width;
    graphicsHeight_ = height;
}

void AppRuntime::moveMouse(int x, int y) {
    if (!window_ || graphicsKind_ == GraphicsKind::NoGraphics) return;
    if ((graphicsKind_ == GraphicsKind::ScaledWindow || graphicsKind_ == GraphicsKind::FullScreen) &&
        graphicsWidth_ > 0 && graphicsHeight_ > 0) {
        int cw = 0, ch = 0;
        SDL_GetWindowSize(window_, &cw, &ch);
        x = static_cast<int>(static_cast<std::int64_t>(x) * cw / graphicsWidth_);
        y = static_cast<int>(static_cast<std::int64_t>(y) * ch / graphicsHeight_);
    }
    SDL_WarpMouseInWindow(window_, x, y);
}

// ---- reports and debugger hooks --------------------------------------------

void AppRuntime::report(const char* text, bool serious, int* result) {
    if (!host_) return;
    // Even if the raised error were caught, the program must not go on.
    postEndRequest();
    suspend();
    const int answer = host_->onMessage(text ? text : "", serious);
    if (result) *result = answer;
}

void AppRuntime::reportError(const char* text) { report(text, true, nullptr); }

int AppRuntime::reportInfo(const char* text) {
    int result = 0;
    report(text, false, &result);
    return result;
}

void AppRuntime::logText(const char* text) {
    if (host_) host_->onLog(text ? text : "");
}

void AppRuntime::debugStatement(std::int32_t a, std::int32_t b) {
    if (host_) host_->onStatement(a, b);
}

void AppRuntime::debugEnterFrame(std::int32_t a, std::int32_t b, std::int32_t c) {
    if (host_) host_->onEnterFrame(a, b, c);
}

void AppRuntime::debugLeaveFrame() {
    if (host_) host_->onLeaveFrame();
}

// ---- window, processes, properties -----------------------------------------

void AppRuntime::setTitle(std::string title, std::string closePrompt) {
    title_ = std::move(title);
    closePrompt_ = std::move(closePrompt);
    if (window_) SDL_SetWindowTitle(window_, toDisplayText(title_).c_str());
}

bool AppRuntime::execute(std::string_view command) {
    const ExecCommand split = splitExecCommand(command);
    if (split.file.empty()) return false;
    return launchFile(split.file, split.parameters);
}

std::string AppRuntime::systemProperty(std::string_view name) const {
    const std::string lower = asciiLower(name);
    // "direct3d7", "direct3ddevice7", "directdraw7" and "directinput7" name
    // subsystems that are not open.
    return machineProperty(lower, window_);
}

}  // namespace trelm
