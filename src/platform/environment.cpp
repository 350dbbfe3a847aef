#include "platform/environment.hpp"

#include <cstdlib>

namespace trelm {

std::optional<std::string> environmentVariable(const std::string& name) {
    if (name.empty() || name.find('\0') != std::string::npos) return std::nullopt;
    const char* value = std::getenv(name.c_str());
    if (!value) return std::nullopt;
    return std::string(value);
}

void setEnvironmentVariable(const std::string& name, const std::string& value) {
    if (name.empty() || name.find('=') != std::string::npos || name.find('\0') != std::string::npos) return;
    if (value.empty())
        unsetenv(name.c_str());
    else
        setenv(name.c_str(), value.c_str(), 1);
}

}  // namespace trelm
