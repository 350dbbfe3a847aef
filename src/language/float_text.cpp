// Numbers to text and back. A program may change the C locale (user libraries
// can), so nothing here goes through locale-aware formatting or parsing.
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <locale.h>

#include "language/runtime_string.hpp"

namespace trelm {
namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Drops trailing zeros of a fixed-point text, keeping one digit after the point.
void trimZeros(std::string& text) {
    while (text.size() >= 2 && text.back() == '0' && text[text.size() - 2] != '.') text.pop_back();
}

locale_t cLocale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", locale_t{});
    return locale;
}

}  // namespace

std::string intToText(std::int32_t value) {
    char buffer[16];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string floatToText(float value) {
    const double v = value;
    if (std::isnan(v)) return "NaN";
    if (std::isinf(v)) return v > 0 ? "Infinity" : "-Infinity";

    // Correctly rounded six significant digits: "d.ddddde±XX".
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(v),
                                      std::chars_format::scientific, 5);
    const char digits[6] = {buffer[0], buffer[2], buffer[3], buffer[4], buffer[5], buffer[6]};
    int leading = 0;  // exponent of the leading digit
    std::from_chars(buffer + 9, result.ptr, leading);
    if (buffer[8] == '-') leading = -leading;
    const int e = leading + 1;  // value = 0.d1..d6 x 10^e

    std::string text;
    if (v < 0) text += '-';
    if (e < -2 || e > 8) {
        int last = 5;
        while (last >= 1 && digits[last] == '0') --last;
        text += digits[0];
        text += '.';
        text.append(digits + 1, static_cast<std::size_t>(last));
        text += 'e';
        text += leading < 0 ? '-' : '+';
        const std::string exponent = intToText(std::abs(leading));
        if (exponent.size() < 3) text.append(3 - exponent.size(), '0');
        text += exponent;
    } else if (e <= 0) {
        text += "0.";
        text.append(static_cast<std::size_t>(-e), '0');
        text.append(digits, 6);
        trimZeros(text);
    } else if (e <= 5) {
        text.append(digits, static_cast<std::size_t>(e));
        text += '.';
        text.append(digits + e, static_cast<std::size_t>(6 - e));
        trimZeros(text);
    } else {
        text.append(digits, 6);
        text.append(static_cast<std::size_t>(e - 6), '0');
        text += ".0";
    }
    return text;
}

std::int32_t textToInt(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && isSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    std::uint32_t value = 0;  // unsigned: the wrap-around is wanted
    for (; i < text.size() && isDigit(text[i]); ++i) value = value * 10 + static_cast<std::uint32_t>(text[i] - '0');
    if (negative) value = 0u - value;
    return static_cast<std::int32_t>(value);
}

float textToFloat(std::string_view text) {
    // Only plain decimal text converts: the library parser would also take
    // hexadecimal, "inf" and "nan", so the longest decimal prefix is cut first.
    std::size_t i = 0;
    while (i < text.size() && isSpace(text[i])) ++i;
    const std::size_t start = i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t mantissaDigits = 0;
    for (; i < text.size() && isDigit(text[i]); ++i) ++mantissaDigits;
    if (i < text.size() && text[i] == '.')
        for (++i; i < text.size() && isDigit(text[i]); ++i) ++mantissaDigits;
    if (mantissaDigits == 0) return 0.0f;
    std::size_t end = i;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
        if (j < text.size() && isDigit(text[j])) {
            while (j < text.size() && isDigit(text[j])) ++j;
            end = j;
        }
    }

    const std::string number(text.substr(start, end - start));
    const double d = strtod_l(number.c_str(), nullptr, cLocale());
    // Beyond the float range the nearest value is infinity; say so rather than
    // leave the narrowing to the compiler.
    constexpr double overflow = 0x1.ffffffp127;  // halfway between FLT_MAX and 2^128
    constexpr float infinity = std::numeric_limits<float>::infinity();
    if (std::fabs(d) >= overflow) return d > 0 ? infinity : -infinity;
    return static_cast<float>(d);
}

}  // namespace trelm
