#include "startup/declaration.hpp"

#include "startup/text.hpp"

namespace trelm {

namespace {
bool isAsciiAlnum(char c) { return detail::isLetter(c) || detail::isDigit(c); }
}  // namespace

std::string moduleNameOf(std::string_view name) {
    if (!name.empty() && name.front() == '_') return "_" + std::string(name);
    if (!name.empty() && name.front() == '!') name.remove_prefix(1);
    if (!name.empty() && !isAsciiAlnum(name.front())) name.remove_prefix(1);
    std::string out = "_f";
    for (char c : name) {
        if (!detail::isWordChar(c)) break;
        out += asciiLower(c);
    }
    return out;
}

}  // namespace trelm
