// Small text helpers shared by every layer. Byte-wise and locale-free: the
// language's texts are bytes, and only ASCII letters change case.
#pragma once

#include <string>
#include <string_view>

namespace trelm {

// Without leading and trailing blanks (character 32 only).
inline std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

inline char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

inline std::string asciiLower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = asciiLower(c);
    return out;
}

}  // namespace trelm
