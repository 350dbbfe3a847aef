#include "startup/command_line.hpp"

namespace trelm {

std::string argumentsOfCommandLine(std::string_view line) {
    while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
    if (!line.empty() && line.front() == '"') {
        std::size_t close = line.find('"', 1);
        if (close == std::string_view::npos) return {};
        return std::string(line.substr(close + 1));
    }
    std::size_t blank = line.find(' ');
    if (blank == std::string_view::npos) return {};
    return std::string(line.substr(blank + 1));
}

std::string joinArguments(std::span<const char* const> args) {
    std::string out;
    for (const char* a : args) {
        std::string_view arg(a);
        if (!out.empty()) out += ' ';
        if (arg.empty() || arg.find(' ') != std::string_view::npos)
            out.append("\"").append(arg).append("\"");
        else
            out += arg;
    }
    return out;
}

}  // namespace trelm
