#include "listd/sqlite_store.hpp"

#include <sqlite3.h>

namespace listd {

namespace {

[[noreturn]] void fail(sqlite3* db, const char* what) {
    throw StoreError(std::string("sqlite: ") + what + ": " + (db ? sqlite3_errmsg(db) : "out of memory"));
}

void bindText(sqlite3_stmt* stmt, int index, const std::string& value) {
    // Names are Windows-1252 bytes, not UTF-8: stored as blobs so nothing
    // along the way tries to interpret them.
    sqlite3_bind_blob(stmt, index, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
}

std::string columnBytes(sqlite3_stmt* stmt, int column) {
    const void* data = sqlite3_column_blob(stmt, column);
    int size = sqlite3_column_bytes(stmt, column);
    return data ? std::string(static_cast<const char*>(data), static_cast<std::size_t>(size)) : std::string();
}

void bindKey(sqlite3_stmt* stmt, const EntryKey& key) {
    bindText(stmt, 1, key.game);
    bindText(stmt, 2, key.name);
    bindText(stmt, 3, key.address);
}

// Resets the statement on every exit so it never holds a read lock open.
struct Use {
    sqlite3_stmt* stmt;
    explicit Use(sqlite3_stmt* s) : stmt(s) {}
    ~Use() {
        sqlite3_reset(stmt);
        sqlite3_clear_bindings(stmt);
    }
};

}  // namespace

SqliteStore::SqliteStore(const std::string& path, SyncMode sync) {
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
        std::string message = db_ ? sqlite3_errmsg(db_) : "out of memory";
        sqlite3_close(db_);
        db_ = nullptr;
        throw StoreError("sqlite: cannot open " + path + ": " + message);
    }
    try {
        sqlite3_busy_timeout(db_, 2000);
        exec("PRAGMA journal_mode=WAL");
        // A commit in WAL mode has reached the operating system when it
        // returns, which is what survives a killed process; FULL also waits
        // for the disk, which is what survives a power cut.
        exec(sync == SyncMode::Full ? "PRAGMA synchronous=FULL" : "PRAGMA synchronous=NORMAL");
        exec("CREATE TABLE IF NOT EXISTS entries("
             " game BLOB NOT NULL, name BLOB NOT NULL, address TEXT NOT NULL,"
             " pass INTEGER NOT NULL, created_ms INTEGER NOT NULL, expires_ms INTEGER NOT NULL,"
             " PRIMARY KEY (game, name, address)) WITHOUT ROWID");
        exec("CREATE INDEX IF NOT EXISTS entries_by_address ON entries(address)");
        exec("CREATE INDEX IF NOT EXISTS entries_by_expiry ON entries(expires_ms)");
        struct {
            sqlite3_stmt** stmt;
            const char* sql;
        } const statements[] = {
            {&purge_, "DELETE FROM entries WHERE expires_ms <= ?1"},
            {&find_, "SELECT pass FROM entries WHERE game = ?1 AND name = ?2 AND address = ?3"},
            {&update_, "UPDATE entries SET pass = ?4, expires_ms = ?5 WHERE game = ?1 AND name = ?2 AND address = ?3"},
            {&countAddress_, "SELECT count(*) FROM entries WHERE address = ?1"},
            {&countAll_, "SELECT count(*) FROM entries"},
            {&insert_, "INSERT INTO entries(game, name, address, pass, created_ms, expires_ms)"
                       " VALUES (?1, ?2, ?3, ?4, ?5, ?6)"},
            {&renew_, "UPDATE entries SET expires_ms = ?4 WHERE game = ?1 AND name = ?2 AND address = ?3"
                      " AND expires_ms > ?5"},
            {&delete_, "DELETE FROM entries WHERE game = ?1 AND name = ?2 AND address = ?3 AND expires_ms > ?4"},
            {&select_, "SELECT name, address, pass, created_ms, expires_ms FROM entries"
                       " WHERE game = ?1 AND expires_ms > ?2 ORDER BY created_ms, name, address"},
        };
        for (const auto& s : statements)
            if (sqlite3_prepare_v3(db_, s.sql, -1, SQLITE_PREPARE_PERSISTENT, s.stmt, nullptr) != SQLITE_OK)
                fail(db_, "prepare");
    } catch (...) {
        close();
        throw;
    }
}

SqliteStore::~SqliteStore() { close(); }

void SqliteStore::close() {
    for (sqlite3_stmt** stmt : {&purge_, &find_, &update_, &countAddress_, &countAll_, &insert_, &renew_,
                                &delete_, &select_}) {
        sqlite3_finalize(*stmt);
        *stmt = nullptr;
    }
    if (db_) sqlite3_close(db_);
    db_ = nullptr;
}

void SqliteStore::exec(const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        std::string message = error ? error : "unknown error";
        sqlite3_free(error);
        throw StoreError(std::string("sqlite: ") + sql + ": " + message);
    }
}

std::int64_t SqliteStore::scalar(sqlite3_stmt* stmt) {
    Use use(stmt);
    if (sqlite3_step(stmt) != SQLITE_ROW) fail(db_, "query");
    return sqlite3_column_int64(stmt, 0);
}

void SqliteStore::purgeExpired(std::int64_t nowMs) {
    Use use(purge_);
    sqlite3_bind_int64(purge_, 1, nowMs);
    if (sqlite3_step(purge_) != SQLITE_DONE) fail(db_, "purge");
}

namespace {

// Rolls back unless committed, so a failed step leaves no half-done change.
class Transaction {
public:
    explicit Transaction(sqlite3* db) : db_(db) {
        if (sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) fail(db_, "begin");
    }
    ~Transaction() {
        if (!done_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    void commit() {
        if (sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) fail(db_, "commit");
        done_ = true;
    }

private:
    sqlite3* db_;
    bool done_ = false;
};

}  // namespace

AddResult SqliteStore::add(const EntryKey& key, bool pass, std::int64_t nowMs, const Limits& limits) {
    std::lock_guard lock(mutex_);
    Transaction tx(db_);
    purgeExpired(nowMs);
    int oldPass = -1;
    {
        Use use(find_);
        bindKey(find_, key);
        int rc = sqlite3_step(find_);
        if (rc == SQLITE_ROW)
            oldPass = sqlite3_column_int(find_, 0);
        else if (rc != SQLITE_DONE)
            fail(db_, "find");
    }
    if (oldPass >= 0) {
        Use use(update_);
        bindKey(update_, key);
        sqlite3_bind_int(update_, 4, pass ? 1 : 0);
        sqlite3_bind_int64(update_, 5, nowMs + limits.ttlMs);
        if (sqlite3_step(update_) != SQLITE_DONE) fail(db_, "update");
    } else {
        std::int64_t mine;
        {
            Use use(countAddress_);
            bindText(countAddress_, 1, key.address);
            if (sqlite3_step(countAddress_) != SQLITE_ROW) fail(db_, "count");
            mine = sqlite3_column_int64(countAddress_, 0);
        }
        if (mine >= limits.maxPerAddress) return AddResult::AddressFull;
        if (scalar(countAll_) >= limits.maxEntries) return AddResult::StoreFull;
        Use use(insert_);
        bindKey(insert_, key);
        sqlite3_bind_int(insert_, 4, pass ? 1 : 0);
        sqlite3_bind_int64(insert_, 5, nowMs);
        sqlite3_bind_int64(insert_, 6, nowMs + limits.ttlMs);
        if (sqlite3_step(insert_) != SQLITE_DONE) fail(db_, "insert");
    }
    tx.commit();
    if (oldPass != (pass ? 1 : 0)) ++version_;
    return oldPass >= 0 ? AddResult::Renewed : AddResult::Added;
}

bool SqliteStore::refresh(const EntryKey& key, std::int64_t nowMs, const Limits& limits) {
    std::lock_guard lock(mutex_);
    Use use(renew_);
    bindKey(renew_, key);
    sqlite3_bind_int64(renew_, 4, nowMs + limits.ttlMs);
    sqlite3_bind_int64(renew_, 5, nowMs);
    if (sqlite3_step(renew_) != SQLITE_DONE) fail(db_, "refresh");
    return sqlite3_changes(db_) > 0;
}

bool SqliteStore::remove(const EntryKey& key, std::int64_t nowMs, const Limits&) {
    std::lock_guard lock(mutex_);
    Use use(delete_);
    bindKey(delete_, key);
    sqlite3_bind_int64(delete_, 4, nowMs);
    if (sqlite3_step(delete_) != SQLITE_DONE) fail(db_, "remove");
    bool removed = sqlite3_changes(db_) > 0;
    if (removed) ++version_;
    return removed;
}

Listing SqliteStore::list(const std::string& game, std::int64_t nowMs) {
    std::lock_guard lock(mutex_);
    Listing out;
    out.version = version_.load();
    Use use(select_);
    bindText(select_, 1, game);
    sqlite3_bind_int64(select_, 2, nowMs);
    int rc;
    while ((rc = sqlite3_step(select_)) == SQLITE_ROW) {
        Entry e;
        e.game = game;
        e.name = columnBytes(select_, 0);
        e.address = columnBytes(select_, 1);
        e.pass = sqlite3_column_int(select_, 2) != 0;
        e.createdMs = sqlite3_column_int64(select_, 3);
        e.expiresMs = sqlite3_column_int64(select_, 4);
        if (e.expiresMs < out.validUntilMs) out.validUntilMs = e.expiresMs;
        out.entries.push_back(std::move(e));
    }
    if (rc != SQLITE_DONE) fail(db_, "list");
    return out;
}

std::uint64_t SqliteStore::version(const std::string&) { return version_.load(); }

bool SqliteStore::healthy() {
    std::lock_guard lock(mutex_);
    try {
        return scalar(countAll_) >= 0;
    } catch (const StoreError&) {
        return false;
    }
}

}  // namespace listd
