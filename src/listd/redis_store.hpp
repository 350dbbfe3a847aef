#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "listd/store.hpp"

struct redisContext;
struct redisReply;

namespace listd {

struct RedisUrl {
    std::string host = "127.0.0.1";
    int port = 6379;
    std::string user;
    std::string password;
    int db = 0;
};

// redis://[[user]:password@]host[:port][/db]
RedisUrl parseRedisUrl(const std::string& url);

// Several front ends share one list through a standalone Redis. Every entry
// is a key with a TTL; per-game, per-address and global sorted sets scored by
// deadline make listing and the limits cheap, and each operation is one Lua
// script so the limit checks hold across front ends.
class RedisStore final : public Store {
public:
    RedisStore(const RedisUrl& url, std::string prefix);
    ~RedisStore() override;
    RedisStore(const RedisStore&) = delete;
    RedisStore& operator=(const RedisStore&) = delete;

    AddResult add(const EntryKey& key, bool pass, std::int64_t nowMs, const Limits& limits) override;
    bool refresh(const EntryKey& key, std::int64_t nowMs, const Limits& limits) override;
    bool remove(const EntryKey& key, std::int64_t nowMs, const Limits& limits) override;
    Listing list(const std::string& game, std::int64_t nowMs) override;
    std::uint64_t version(const std::string& game) override;
    bool healthy() override;
    const char* kind() const override { return "redis"; }

private:
    struct ReplyDeleter {
        void operator()(redisReply* r) const;
    };
    using Reply = std::unique_ptr<redisReply, ReplyDeleter>;

    Reply command(const std::vector<std::string>& args);
    Reply commandOnce(const std::vector<std::string>& args);
    void connect();
    void disconnect();
    std::int64_t script(const char* body, const EntryKey& key, const std::vector<std::string>& extra);

    RedisUrl url_;
    std::string prefix_;
    std::mutex mutex_;
    redisContext* ctx_ = nullptr;
};

}  // namespace listd
