// The language's string value: a pooled heap object owned by exactly one holder
// at a time. A string argument handed to a command belongs to the command, which
// releases it; a string result is new and belongs to the caller. A null pointer
// stands for the empty string wherever a variable may hold one.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace trelm {

struct RuntimeString {
    // Texts up to this length live in the object itself, so the temporaries of
    // string expressions cost no allocation at all once the pool is warm.
    static constexpr std::uint32_t kInlineCapacity = 23;

    RuntimeString() = default;
    RuntimeString(const RuntimeString&) = delete;  // data may point into the object
    RuntimeString& operator=(const RuntimeString&) = delete;

    RuntimeString* prev = nullptr;  // live list; unused while free
    RuntimeString* next = nullptr;  // live list, or free list while free
    char* data = inlineText;        // inlineText or a heap block of capacity + 1 bytes
    std::uint32_t size = 0;
    std::uint32_t capacity = kInlineCapacity;  // bytes that fit before the trailing NUL
    char inlineText[kInlineCapacity + 1] = {};

    bool onHeap() const { return data != inlineText; }
};

// A new string holding a copy of the bytes.
RuntimeString* newString(std::string_view bytes);
// The bytes of a string (null gives the empty view). Valid until it is released or changed.
std::string_view stringView(const RuntimeString* s);
// The same bytes as NUL-terminated text (null gives "").
const char* stringText(const RuntimeString* s);
// Appends bytes to a string in place; repeated appends are amortised O(1).
// The bytes may lie inside the string itself.
void appendToString(RuntimeString* s, std::string_view bytes);
// Releases a string; null is ignored.
void releaseString(RuntimeString* s);
// Copies the bytes out of an argument and releases it.
std::string takeString(RuntimeString* s);

// The texts of numbers; every command that returns a number as text uses these.
std::string intToText(std::int32_t value);
std::string floatToText(float value);
// Text to number, as the language converts: a leading number is taken and the
// rest ignored; no number gives 0. Ints wrap around on overflow.
std::int32_t textToInt(std::string_view text);
float textToFloat(std::string_view text);

// Number of live runtime strings ("Active strings :").
std::int32_t liveStringCount();
// Language-support creation: forgets every string and restarts the count.
// Every object of the pool is free afterwards; pointers kept from before are dead.
void resetStringPool();
// Language-support destruction: releases every string still alive.
void releaseAllStrings();

}  // namespace trelm
