#include "platform/dialogs.hpp"

#include <SDL.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace trelm {
namespace {

std::mutex responderMutex;
std::function<bool(const DialogRequest&)> responder;

bool envIs(const char* name, const char* value) {
    const char* v = std::getenv(name);
    return v && std::strcmp(v, value) == 0;
}

bool envSet(const char* name) {
    const char* v = std::getenv(name);
    return v && *v;
}

bool isHeadlessDriver(const char* driver) {
    return driver && (SDL_strcasecmp(driver, "dummy") == 0 || SDL_strcasecmp(driver, "offscreen") == 0);
}

// A box on a display nobody looks at (Xvfb) never returns, so only a real
// windowing system gets one.
bool displayAvailable() {
    if (SDL_WasInit(SDL_INIT_VIDEO)) return !isHeadlessDriver(SDL_GetCurrentVideoDriver());
    if (isHeadlessDriver(std::getenv("SDL_VIDEODRIVER"))) return false;
    return envSet("DISPLAY") || envSet("WAYLAND_DISPLAY");
}

void writeToStderr(const DialogRequest& request) {
    std::string line;
    if (!request.caption.empty()) {
        line.append(request.caption);
        line.append(": ");
    }
    line.append(request.text);
    line.push_back('\n');
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

Uint32 boxFlags(DialogIcon icon) {
    switch (icon) {
    case DialogIcon::Info: return SDL_MESSAGEBOX_INFORMATION;
    case DialogIcon::Warning: return SDL_MESSAGEBOX_WARNING;
    case DialogIcon::Error: return SDL_MESSAGEBOX_ERROR;
    case DialogIcon::None: break;
    }
    return 0;
}

// Length of the valid UTF-8 sequence starting at s[i], or 0.
std::size_t utf8SequenceLength(std::string_view s, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char b = byte(i);
    std::size_t n;
    std::uint32_t cp;
    if (b < 0x80) return 1;
    if (b >= 0xC2 && b <= 0xDF) { n = 2; cp = b & 0x1F; }
    else if (b >= 0xE0 && b <= 0xEF) { n = 3; cp = b & 0x0F; }
    else if (b >= 0xF0 && b <= 0xF4) { n = 4; cp = b & 0x07; }
    else return 0;
    if (i + n > s.size()) return 0;
    for (std::size_t k = 1; k < n; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return n;
}

bool isValidUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t n = utf8SequenceLength(s, i);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

// Code points of 0x80..0x9F in Windows-1252; the five unassigned bytes keep
// their Latin-1 meaning.
constexpr char16_t cp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void appendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

}  // namespace

std::string toDisplayText(std::string_view text) {
    if (isValidUtf8(text)) return std::string(text);
    std::string out;
    out.reserve(text.size() * 2);
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        appendUtf8(out, b >= 0x80 && b < 0xA0 ? cp1252High[b - 0x80] : b);
    }
    return out;
}

void setDialogResponder(std::function<bool(const DialogRequest&)> r) {
    std::lock_guard lock(responderMutex);
    responder = std::move(r);
}

bool showDialog(const DialogRequest& request) {
    std::function<bool(const DialogRequest&)> answer;
    {
        std::lock_guard lock(responderMutex);
        answer = responder;
    }
    if (answer) return answer(request);

    if (envIs("TRELM_DIALOGS", "stderr") || !displayAvailable()) {
        writeToStderr(request);
        return true;
    }

    const std::string text = toDisplayText(request.text);
    const std::string caption = toDisplayText(request.caption);
    enum : int { cancelId = 0, okId = 1 };
    SDL_MessageBoxButtonData buttons[2] = {
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, okId, "OK"},
        {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, cancelId, "Cancel"},
    };
    if (!request.okCancel) buttons[0].flags |= SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT;
    SDL_MessageBoxData data{};
    data.flags = boxFlags(request.icon);
    data.window = nullptr;
    data.title = caption.c_str();
    data.message = text.c_str();
    data.numbuttons = request.okCancel ? 2 : 1;
    data.buttons = buttons;
    int hit = -1;
    if (SDL_ShowMessageBox(&data, &hit) < 0) {
        writeToStderr(request);
        return true;
    }
    // A box closed without a button counts as Cancel.
    return !request.okCancel || hit == okId;
}

}  // namespace trelm
