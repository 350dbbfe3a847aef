#include "language/string_routines.hpp"

#include <algorithm>
#include <cstring>

#include "startup/symbol_registry.hpp"

namespace trelm {

extern "C" {

RuntimeString* kxStrLoad(RuntimeString** variable) {
    return newString(stringView(variable ? *variable : nullptr));
}

void kxStrRelease(RuntimeString* s) {
    releaseString(s);
}

void kxStrStore(RuntimeString** variable, RuntimeString* s) {
    // Storing the string a variable already holds must not free it.
    if (*variable != s) releaseString(*variable);
    *variable = s;
}

RuntimeString* kxStrConcat(RuntimeString* a, RuntimeString* b) {
    if (!a) a = newString({});
    appendToString(a, stringView(b));
    if (b != a) releaseString(b);
    return a;
}

std::int32_t kxStrCompare(RuntimeString* a, RuntimeString* b) {
    const std::string_view x = stringView(a);
    const std::string_view y = stringView(b);
    const std::size_t common = std::min(x.size(), y.size());
    // memcmp compares as unsigned char, which is the order wanted.
    const int bytes = common ? std::memcmp(x.data(), y.data(), common) : 0;
    std::int32_t result;
    if (bytes != 0) result = bytes < 0 ? -1 : 1;
    else result = x.size() < y.size() ? -1 : x.size() > y.size() ? 1 : 0;
    releaseString(a);
    if (b != a) releaseString(b);
    return result;
}

std::int32_t kxStrToInt(RuntimeString* s) {
    const std::int32_t value = textToInt(stringView(s));
    releaseString(s);
    return value;
}

RuntimeString* kxStrFromInt(std::int32_t value) {
    return newString(intToText(value));
}

float kxStrToFloat(RuntimeString* s) {
    const float value = textToFloat(stringView(s));
    releaseString(s);
    return value;
}

RuntimeString* kxStrFromFloat(float value) {
    return newString(floatToText(value));
}

RuntimeString* kxStrConst(const char* text) {
    return newString(text ? std::string_view(text) : std::string_view());
}

}  // extern "C"

void linkStringRoutines(Registrar& reg) {
    TRELM_ROUTINE(reg, "_kxStrLoad", kxStrLoad);
    TRELM_ROUTINE(reg, "_kxStrRelease", kxStrRelease);
    TRELM_ROUTINE(reg, "_kxStrStore", kxStrStore);
    TRELM_ROUTINE(reg, "_kxStrConcat", kxStrConcat);
    TRELM_ROUTINE(reg, "_kxStrCompare", kxStrCompare);
    TRELM_ROUTINE(reg, "_kxStrToInt", kxStrToInt);
    TRELM_ROUTINE(reg, "_kxStrFromInt", kxStrFromInt);
    TRELM_ROUTINE(reg, "_kxStrToFloat", kxStrToFloat);
    TRELM_ROUTINE(reg, "_kxStrFromFloat", kxStrFromFloat);
    TRELM_ROUTINE(reg, "_kxStrConst", kxStrConst);
}

}  // namespace trelm
