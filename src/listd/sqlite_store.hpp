#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include "listd/store.hpp"

struct sqlite3;
struct sqlite3_stmt;

namespace listd {

enum class SyncMode { Normal, Full };

// One connection behind a mutex: writes are few (one per host every 150 s)
// and reads are served from the list cache, so finer locking buys nothing.
class SqliteStore final : public Store {
public:
    SqliteStore(const std::string& path, SyncMode sync);
    ~SqliteStore() override;
    SqliteStore(const SqliteStore&) = delete;
    SqliteStore& operator=(const SqliteStore&) = delete;

    AddResult add(const EntryKey& key, bool pass, std::int64_t nowMs, const Limits& limits) override;
    bool refresh(const EntryKey& key, std::int64_t nowMs, const Limits& limits) override;
    bool remove(const EntryKey& key, std::int64_t nowMs, const Limits& limits) override;
    Listing list(const std::string& game, std::int64_t nowMs) override;
    std::uint64_t version(const std::string& game) override;
    bool healthy() override;
    const char* kind() const override { return "sqlite"; }

private:
    void close();
    void exec(const char* sql);
    void purgeExpired(std::int64_t nowMs);
    std::int64_t scalar(sqlite3_stmt* stmt);

    std::mutex mutex_;
    sqlite3* db_ = nullptr;
    sqlite3_stmt* purge_ = nullptr;
    sqlite3_stmt* find_ = nullptr;
    sqlite3_stmt* update_ = nullptr;
    sqlite3_stmt* countAddress_ = nullptr;
    sqlite3_stmt* countAll_ = nullptr;
    sqlite3_stmt* insert_ = nullptr;
    sqlite3_stmt* renew_ = nullptr;
    sqlite3_stmt* delete_ = nullptr;
    sqlite3_stmt* select_ = nullptr;
    // Only this process writes the file, so an in-memory counter is an exact
    // change marker for cached listings.
    std::atomic<std::uint64_t> version_{1};
};

}  // namespace listd
