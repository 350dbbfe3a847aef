#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace listd {

// One open game. Within a game an entry is keyed by (game, name, address):
// the same name from two hosts is two games.
struct Entry {
    std::string game;
    std::string name;
    std::string address;
    bool pass = false;
    std::int64_t createdMs = 0;
    std::int64_t expiresMs = 0;
};

struct EntryKey {
    std::string game;
    std::string name;
    std::string address;
};

enum class AddResult { Added, Renewed, AddressFull, StoreFull };

struct Limits {
    std::int64_t ttlMs = 300'000;
    int maxPerAddress = 8;
    int maxEntries = 10'000;
};

// A snapshot of one game's live entries, oldest first. `version` changes with
// every change of membership or password flag; `validUntilMs` is the earliest
// deadline in it, so a cached copy is good while both still hold.
struct Listing {
    std::vector<Entry> entries;
    std::uint64_t version = 0;
    std::int64_t validUntilMs = INT64_MAX;
};

class StoreError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Every method is safe to call from several threads. A method that returns
// has committed its change; failures of the backing store throw StoreError.
class Store {
public:
    virtual ~Store() = default;
    virtual AddResult add(const EntryKey& key, bool pass, std::int64_t nowMs, const Limits& limits) = 0;
    virtual bool refresh(const EntryKey& key, std::int64_t nowMs, const Limits& limits) = 0;
    virtual bool remove(const EntryKey& key, std::int64_t nowMs, const Limits& limits) = 0;
    virtual Listing list(const std::string& game, std::int64_t nowMs) = 0;
    // Cheap check whether a cached Listing of `game` is still current.
    virtual std::uint64_t version(const std::string& game) = 0;
    virtual bool healthy() = 0;
    virtual const char* kind() const = 0;
};

}  // namespace listd
