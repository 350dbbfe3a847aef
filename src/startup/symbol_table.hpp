// The runtime symbol table: registered names and their values, walked in
// ascending byte order of the names. Each walk starts from a fresh registration
// of every library and empties the table when it passes the last name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "startup/symbol_registry.hpp"

namespace trelm {

class SymbolTable {
public:
    // Replaces the contents; a later registration of a name overwrites an earlier one.
    void fill(const std::vector<Registration>& registrations);
    void clear();
    bool empty() const { return entries_.empty(); }
    std::size_t size() const { return entries_.size(); }

    // The next name of the walk, or null (and the table emptied) past the last one.
    const char* next();
    // The value registered under exactly that name, or -1.
    std::intptr_t lookup(std::string_view name) const;

private:
    std::vector<std::pair<std::string, std::uintptr_t>> entries_;
    std::size_t cursor_ = 0;
};

}  // namespace trelm
