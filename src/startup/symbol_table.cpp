#include "startup/symbol_table.hpp"

#include <algorithm>

namespace trelm {

void SymbolTable::fill(const std::vector<Registration>& registrations) {
    entries_.clear();
    entries_.reserve(registrations.size());
    for (const Registration& r : registrations) entries_.emplace_back(r.name, r.value);
    // Stable, so equal names keep registration order and the last one can win.
    std::stable_sort(entries_.begin(), entries_.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::pair<std::string, std::uintptr_t>> unique;
    unique.reserve(entries_.size());
    for (auto& e : entries_) {
        if (!unique.empty() && unique.back().first == e.first)
            unique.back().second = e.second;
        else
            unique.push_back(std::move(e));
    }
    entries_ = std::move(unique);
    cursor_ = 0;
}

void SymbolTable::clear() {
    entries_.clear();
    cursor_ = 0;
}

const char* SymbolTable::next() {
    if (cursor_ >= entries_.size()) {
        clear();
        return nullptr;
    }
    return entries_[cursor_++].first.c_str();
}

std::intptr_t SymbolTable::lookup(std::string_view name) const {
    auto it = std::lower_bound(entries_.begin(), entries_.end(), name,
                               [](const auto& e, std::string_view n) { return e.first < n; });
    if (it == entries_.end() || it->first != name) return -1;
    return static_cast<std::intptr_t>(it->second);
}

}  // namespace trelm
