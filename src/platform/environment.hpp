// The process environment.
#pragma once

#include <optional>
#include <string>

namespace trelm {

std::optional<std::string> environmentVariable(const std::string& name);
// Sets name=value; an empty value removes the variable. A name the
// environment cannot hold (empty, or containing "=" or a NUL) is ignored.
void setEnvironmentVariable(const std::string& name, const std::string& value);

}  // namespace trelm
