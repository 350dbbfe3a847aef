// Command declarations: the text by which a command is registered, for example
// "PositionEntity%entity#x#y#z%global=0". Parsing is constexpr so that a
// registration can be checked against its function's C++ type at compile time.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace trelm {

enum class Sigil : char { None = 0, Int = '%', Float = '#', String = '$' };

struct DeclParam {
    Sigil type = Sigil::None;
    std::string_view name;
    bool hasDefault = false;
    // An integer literal ("0", "-1", "16384") or empty for the empty-string default.
    std::string_view defaultText;
};

inline constexpr std::size_t kMaxDeclParams = 16;

struct Declaration {
    bool valid = false;
    const char* error = nullptr;  // why the text is not a declaration
    Sigil result = Sigil::None;
    std::string_view name;
    std::array<DeclParam, kMaxDeclParams> params{};
    std::size_t paramCount = 0;
};

namespace detail {
constexpr bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
constexpr bool isDigit(char c) { return c >= '0' && c <= '9'; }
constexpr bool isWordChar(char c) { return isLetter(c) || isDigit(c) || c == '_'; }
constexpr bool isSigil(char c) { return c == '%' || c == '#' || c == '$'; }
}  // namespace detail

// Grammar: [result sigil] name { sigil param [= default] }, where a default is an
// integer literal (int and float parameters) or "" (string parameters). The empty
// string default is also accepted in its escaped spelling \"\" , which one of the
// registered declarations uses.
constexpr Declaration parseDeclaration(std::string_view text) {
    using namespace detail;
    Declaration d;
    auto fail = [&d](const char* why) {
        d.valid = false;
        d.error = why;
        return d;
    };
    std::size_t i = 0;
    if (i < text.size() && isSigil(text[i])) d.result = static_cast<Sigil>(text[i++]);
    if (i >= text.size() || !isLetter(text[i])) return fail("name must begin with a letter");
    std::size_t start = i;
    while (i < text.size() && isWordChar(text[i])) ++i;
    d.name = text.substr(start, i - start);
    bool sawDefault = false;
    while (i < text.size()) {
        if (!isSigil(text[i])) return fail("expected a parameter sigil");
        if (d.paramCount == kMaxDeclParams) return fail("too many parameters");
        DeclParam& p = d.params[d.paramCount++];
        p.type = static_cast<Sigil>(text[i++]);
        if (i >= text.size() || !(isLetter(text[i]) || text[i] == '_'))
            return fail("parameter name must begin with a letter");
        start = i;
        while (i < text.size() && isWordChar(text[i])) ++i;
        p.name = text.substr(start, i - start);
        if (i < text.size() && text[i] == '=') {
            ++i;
            p.hasDefault = true;
            sawDefault = true;
            if (p.type == Sigil::String) {
                if (text.substr(i, 2) == "\"\"") {
                    i += 2;
                } else if (text.substr(i, 4) == "\\\"\\\"") {
                    i += 4;
                } else {
                    return fail("a string default must be \"\"");
                }
            } else {
                start = i;
                if (i < text.size() && text[i] == '-') ++i;
                std::size_t digits = i;
                while (i < text.size() && isDigit(text[i])) ++i;
                if (i == digits) return fail("a numeric default must be an integer literal");
                p.defaultText = text.substr(start, i - start);
            }
        } else if (sawDefault) {
            return fail("a parameter without default follows one with a default");
        }
    }
    d.valid = true;
    return d;
}

// The name a module uses for a registered name: "_kxStrLoad" -> "__kxStrLoad",
// "%MilliSecs" -> "_fmillisecs", "PositionEntity%entity..." -> "_fpositionentity".
std::string moduleNameOf(std::string_view registeredName);

}  // namespace trelm
