#include "platform/key_numbers.hpp"

#include <SDL_keyboard.h>
#include <gtest/gtest.h>

#include <set>

namespace trelm {
namespace {

TEST(KeyNumbers, KnownKeys) {
    const struct {
        SDL_Scancode scancode;
        int number;
    } cases[] = {
        {SDL_SCANCODE_ESCAPE, 1},      {SDL_SCANCODE_1, 2},           {SDL_SCANCODE_0, 11},
        {SDL_SCANCODE_BACKSPACE, 14},  {SDL_SCANCODE_TAB, 15},        {SDL_SCANCODE_Q, 16},
        {SDL_SCANCODE_RETURN, 28},     {SDL_SCANCODE_LCTRL, 29},      {SDL_SCANCODE_A, 30},
        {SDL_SCANCODE_GRAVE, 41},      {SDL_SCANCODE_LSHIFT, 42},     {SDL_SCANCODE_BACKSLASH, 43},
        {SDL_SCANCODE_NONUSHASH, 43},  {SDL_SCANCODE_Z, 44},          {SDL_SCANCODE_M, 50},
        {SDL_SCANCODE_SLASH, 53},      {SDL_SCANCODE_RSHIFT, 54},     {SDL_SCANCODE_KP_MULTIPLY, 55},
        {SDL_SCANCODE_LALT, 56},       {SDL_SCANCODE_SPACE, 57},      {SDL_SCANCODE_CAPSLOCK, 58},
        {SDL_SCANCODE_F1, 59},         {SDL_SCANCODE_F10, 68},        {SDL_SCANCODE_NUMLOCKCLEAR, 69},
        {SDL_SCANCODE_SCROLLLOCK, 70}, {SDL_SCANCODE_KP_7, 71},       {SDL_SCANCODE_KP_MINUS, 74},
        {SDL_SCANCODE_KP_PLUS, 78},    {SDL_SCANCODE_KP_0, 82},       {SDL_SCANCODE_KP_PERIOD, 83},
        {SDL_SCANCODE_NONUSBACKSLASH, 86}, {SDL_SCANCODE_F11, 87},    {SDL_SCANCODE_F12, 88},
        {SDL_SCANCODE_KP_ENTER, 156},  {SDL_SCANCODE_RCTRL, 157},     {SDL_SCANCODE_KP_DIVIDE, 181},
        {SDL_SCANCODE_PRINTSCREEN, 183}, {SDL_SCANCODE_RALT, 184},    {SDL_SCANCODE_PAUSE, 197},
        {SDL_SCANCODE_HOME, 199},      {SDL_SCANCODE_UP, 200},        {SDL_SCANCODE_PAGEUP, 201},
        {SDL_SCANCODE_LEFT, 203},      {SDL_SCANCODE_RIGHT, 205},     {SDL_SCANCODE_END, 207},
        {SDL_SCANCODE_DOWN, 208},      {SDL_SCANCODE_PAGEDOWN, 209},  {SDL_SCANCODE_INSERT, 210},
        {SDL_SCANCODE_DELETE, 211},    {SDL_SCANCODE_LGUI, 219},      {SDL_SCANCODE_RGUI, 220},
        {SDL_SCANCODE_APPLICATION, 221},
    };
    for (const auto& c : cases)
        EXPECT_EQ(keyNumberForScancode(c.scancode), c.number) << SDL_GetScancodeName(c.scancode);
}

TEST(KeyNumbers, NoNumberForUnknownOrOutOfRange) {
    for (int code : {int(SDL_SCANCODE_UNKNOWN), int(SDL_SCANCODE_KP_A), -1, int(SDL_NUM_SCANCODES), 100000})
        EXPECT_EQ(keyNumberForScancode(code), 0) << code;
}

// Every key of the main block and keypad has its own number; only keys that
// are the same physical key on different layouts share one.
TEST(KeyNumbers, NumbersAreDistinctAndInRange) {
    std::set<int> seen;
    int shared = 0;
    for (int code = 0; code < SDL_NUM_SCANCODES; ++code) {
        const int n = keyNumberForScancode(code);
        if (n == 0) continue;
        EXPECT_GE(n, 1);
        EXPECT_LE(n, 255);
        if (!seen.insert(n).second) ++shared;
    }
    EXPECT_GE(seen.size(), 105u);
    EXPECT_EQ(shared, 3) << "backslash/non-US hash, mute/audio mute, application/menu";
}

}  // namespace
}  // namespace trelm
