// A string literal usable as a template argument.
#pragma once

#include <cstddef>
#include <string_view>

namespace trelm {

template <std::size_t N>
struct FixedString {
    char data[N]{};
    constexpr FixedString(const char (&text)[N]) {
        for (std::size_t i = 0; i < N; ++i) data[i] = text[i];
    }
    constexpr std::string_view view() const { return {data, N - 1}; }
};

}  // namespace trelm
