#include "listd/redis_store.hpp"

#include <hiredis/hiredis.h>
#include <sys/time.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <tuple>

namespace listd {

namespace {

// Unit separator: a control character, which names can never contain.
constexpr char kSep = '\x1f';

// KEYS: entry, game set, address set, global set, game version, sequence.
// A live entry has both its key and a score above now in the global set;
// the key alone may outlive its logical deadline when clocks differ.
constexpr const char* kPrelude = R"lua(
local now = tonumber(ARGV[1])
local ttl = tonumber(ARGV[2])
local function extend(key)
  if redis.call('PTTL', key) < ttl then redis.call('PEXPIRE', key, ttl) end
end
local function bump()
  local seq = redis.call('INCR', KEYS[6])
  redis.call('SET', KEYS[5], seq, 'KEEPTTL')
  extend(KEYS[5])
end
for i = 2, 4 do redis.call('ZREMRANGEBYSCORE', KEYS[i], '-inf', now) end
local old = redis.call('GET', KEYS[1])
local live = old and redis.call('ZSCORE', KEYS[4], ARGV[5])
)lua";

// ARGV: now, ttl, game member, address member, global member, pass, per-address, total.
constexpr const char* kAdd = R"lua(
local deadline = now + ttl
local result = 1
if live then
  redis.call('SET', KEYS[1], ARGV[6] .. string.sub(old, 2), 'PX', ttl)
  if string.sub(old, 1, 1) ~= ARGV[6] then bump() end
else
  if redis.call('ZCARD', KEYS[3]) >= tonumber(ARGV[7]) then return -1 end
  if redis.call('ZCARD', KEYS[4]) >= tonumber(ARGV[8]) then return -2 end
  redis.call('SET', KEYS[1], ARGV[6] .. '|' .. ARGV[1], 'PX', ttl)
  result = 0
  bump()
end
redis.call('ZADD', KEYS[2], deadline, ARGV[3])
redis.call('ZADD', KEYS[3], deadline, ARGV[4])
redis.call('ZADD', KEYS[4], deadline, ARGV[5])
for i = 2, 5 do extend(KEYS[i]) end
return result
)lua";

constexpr const char* kRefresh = R"lua(
if not live then return 0 end
local deadline = now + ttl
redis.call('PEXPIRE', KEYS[1], ttl)
redis.call('ZADD', KEYS[2], 'XX', deadline, ARGV[3])
redis.call('ZADD', KEYS[3], 'XX', deadline, ARGV[4])
redis.call('ZADD', KEYS[4], 'XX', deadline, ARGV[5])
for i = 2, 5 do extend(KEYS[i]) end
return 1
)lua";

constexpr const char* kRemove = R"lua(
if not live then return 0 end
redis.call('DEL', KEYS[1])
redis.call('ZREM', KEYS[2], ARGV[3])
redis.call('ZREM', KEYS[3], ARGV[4])
redis.call('ZREM', KEYS[4], ARGV[5])
bump()
return 1
)lua";

// KEYS: game set, game version. ARGV: now, entry key prefix of the game.
constexpr const char* kList = R"lua(
redis.call('ZREMRANGEBYSCORE', KEYS[1], '-inf', ARGV[1])
local out = { redis.call('GET', KEYS[2]) or '0' }
local members = redis.call('ZRANGEBYSCORE', KEYS[1], '(' .. ARGV[1], '+inf', 'WITHSCORES')
for i = 1, #members, 2 do
  local value = redis.call('GET', ARGV[2] .. members[i])
  if value then
    out[#out + 1] = members[i]
    out[#out + 1] = value
    out[#out + 1] = members[i + 1]
  end
end
return out
)lua";

std::int64_t toInt(std::string_view text) {
    std::int64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) {
        // Scores come back as doubles when Redis formats them.
        return static_cast<std::int64_t>(std::strtod(std::string(text).c_str(), nullptr));
    }
    return value;
}

std::string replyString(const redisReply* r) {
    return r->str ? std::string(r->str, r->len) : std::string();
}

}  // namespace

RedisUrl parseRedisUrl(const std::string& url) {
    RedisUrl out;
    std::string_view rest(url);
    constexpr std::string_view scheme = "redis://";
    if (rest.substr(0, scheme.size()) != scheme) throw StoreError("redis URL must start with redis://: " + url);
    rest.remove_prefix(scheme.size());
    if (std::size_t slash = rest.find('/'); slash != std::string_view::npos) {
        std::string_view db = rest.substr(slash + 1);
        rest = rest.substr(0, slash);
        if (!db.empty()) {
            auto [end, ec] = std::from_chars(db.data(), db.data() + db.size(), out.db);
            if (ec != std::errc() || end != db.data() + db.size() || out.db < 0)
                throw StoreError("bad database number in redis URL: " + url);
        }
    }
    if (std::size_t at = rest.rfind('@'); at != std::string_view::npos) {
        std::string_view auth = rest.substr(0, at);
        rest.remove_prefix(at + 1);
        std::size_t colon = auth.find(':');
        if (colon == std::string_view::npos) {
            out.password = std::string(auth);
        } else {
            out.user = std::string(auth.substr(0, colon));
            out.password = std::string(auth.substr(colon + 1));
        }
    }
    std::string_view host = rest;
    std::string_view port;
    if (!rest.empty() && rest.front() == '[') {
        std::size_t close = rest.find(']');
        if (close == std::string_view::npos) throw StoreError("bad host in redis URL: " + url);
        host = rest.substr(1, close - 1);
        if (close + 1 < rest.size()) {
            if (rest[close + 1] != ':') throw StoreError("bad host in redis URL: " + url);
            port = rest.substr(close + 2);
        }
    } else if (std::size_t colon = rest.rfind(':'); colon != std::string_view::npos) {
        host = rest.substr(0, colon);
        port = rest.substr(colon + 1);
    }
    if (!host.empty()) out.host = std::string(host);
    if (!port.empty()) {
        auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), out.port);
        if (ec != std::errc() || end != port.data() + port.size() || out.port < 1 || out.port > 65535)
            throw StoreError("bad port in redis URL: " + url);
    }
    return out;
}

void RedisStore::ReplyDeleter::operator()(redisReply* r) const { freeReplyObject(r); }

RedisStore::RedisStore(const RedisUrl& url, std::string prefix) : url_(url), prefix_(std::move(prefix)) {
    std::lock_guard lock(mutex_);
    connect();
}

RedisStore::~RedisStore() { disconnect(); }

void RedisStore::disconnect() {
    if (ctx_) redisFree(ctx_);
    ctx_ = nullptr;
}

void RedisStore::connect() {
    timeval timeout{2, 0};
    ctx_ = redisConnectWithTimeout(url_.host.c_str(), url_.port, timeout);
    if (!ctx_ || ctx_->err) {
        std::string message = ctx_ ? ctx_->errstr : "out of memory";
        disconnect();
        throw StoreError("redis: cannot connect to " + url_.host + ":" + std::to_string(url_.port) + ": " +
                         message);
    }
    // A stalled Redis must not hang request threads for ever.
    redisSetTimeout(ctx_, timeout);
    auto expectOk = [&](std::vector<std::string> args) {
        Reply r = commandOnce(args);
        if (r->type == REDIS_REPLY_ERROR) {
            std::string message = replyString(r.get());
            disconnect();
            throw StoreError("redis: " + args[0] + ": " + message);
        }
    };
    if (!url_.password.empty()) {
        if (url_.user.empty())
            expectOk({"AUTH", url_.password});
        else
            expectOk({"AUTH", url_.user, url_.password});
    }
    if (url_.db != 0) expectOk({"SELECT", std::to_string(url_.db)});
}

RedisStore::Reply RedisStore::commandOnce(const std::vector<std::string>& args) {
    std::vector<const char*> argv;
    std::vector<std::size_t> lengths;
    for (const std::string& a : args) {
        argv.push_back(a.data());
        lengths.push_back(a.size());
    }
    auto* raw = static_cast<redisReply*>(
        redisCommandArgv(ctx_, static_cast<int>(argv.size()), argv.data(), lengths.data()));
    if (!raw) {
        std::string message = ctx_->errstr;
        disconnect();
        throw StoreError("redis: " + message);
    }
    return Reply(raw);
}

RedisStore::Reply RedisStore::command(const std::vector<std::string>& args) {
    // One reconnect per call covers a restarted Redis; every script is safe
    // to run twice.
    for (int attempt = 0;; ++attempt) {
        try {
            if (!ctx_) connect();
            Reply r = commandOnce(args);
            if (r->type == REDIS_REPLY_ERROR) throw StoreError("redis: " + replyString(r.get()));
            return r;
        } catch (const StoreError&) {
            if (attempt > 0 || ctx_) throw;
        }
    }
}

std::int64_t RedisStore::script(const char* body, const EntryKey& key, const std::vector<std::string>& extra) {
    std::string tail = key.name + kSep + key.address;
    std::vector<std::string> args = {
        "EVAL",
        std::string(kPrelude) + body,
        "6",
        prefix_ + "e:" + key.game + kSep + tail,
        prefix_ + "g:" + key.game,
        prefix_ + "a:" + key.address,
        prefix_ + "all",
        prefix_ + "v:" + key.game,
        prefix_ + "seq",
    };
    args.insert(args.end(), extra.begin(), extra.begin() + 2);
    args.push_back(tail);
    args.push_back(key.game + kSep + key.name);
    args.push_back(key.game + kSep + tail);
    args.insert(args.end(), extra.begin() + 2, extra.end());
    std::lock_guard lock(mutex_);
    Reply r = command(args);
    if (r->type != REDIS_REPLY_INTEGER) throw StoreError("redis: unexpected script reply");
    return r->integer;
}

AddResult RedisStore::add(const EntryKey& key, bool pass, std::int64_t nowMs, const Limits& limits) {
    std::int64_t r = script(kAdd, key,
                            {std::to_string(nowMs), std::to_string(limits.ttlMs), pass ? "1" : "0",
                             std::to_string(limits.maxPerAddress), std::to_string(limits.maxEntries)});
    switch (r) {
        case 0: return AddResult::Added;
        case 1: return AddResult::Renewed;
        case -1: return AddResult::AddressFull;
        default: return AddResult::StoreFull;
    }
}

bool RedisStore::refresh(const EntryKey& key, std::int64_t nowMs, const Limits& limits) {
    return script(kRefresh, key, {std::to_string(nowMs), std::to_string(limits.ttlMs)}) == 1;
}

bool RedisStore::remove(const EntryKey& key, std::int64_t nowMs, const Limits& limits) {
    return script(kRemove, key, {std::to_string(nowMs), std::to_string(limits.ttlMs)}) == 1;
}

Listing RedisStore::list(const std::string& game, std::int64_t nowMs) {
    std::vector<std::string> args = {
        "EVAL", kList, "2", prefix_ + "g:" + game, prefix_ + "v:" + game,
        std::to_string(nowMs), prefix_ + "e:" + game + kSep,
    };
    Reply r;
    {
        std::lock_guard lock(mutex_);
        r = command(args);
    }
    if (r->type != REDIS_REPLY_ARRAY || r->elements < 1) throw StoreError("redis: unexpected list reply");
    Listing out;
    out.version = static_cast<std::uint64_t>(toInt(replyString(r->element[0])));
    for (std::size_t i = 1; i + 2 < r->elements; i += 3) {
        std::string member = replyString(r->element[i]);
        std::string value = replyString(r->element[i + 1]);
        std::size_t sep = member.find(kSep);
        if (sep == std::string::npos || value.size() < 2) continue;
        Entry e;
        e.game = game;
        e.name = member.substr(0, sep);
        e.address = member.substr(sep + 1);
        e.pass = value[0] == '1';
        e.createdMs = toInt(std::string_view(value).substr(2));
        e.expiresMs = toInt(replyString(r->element[i + 2]));
        if (e.expiresMs < out.validUntilMs) out.validUntilMs = e.expiresMs;
        out.entries.push_back(std::move(e));
    }
    std::sort(out.entries.begin(), out.entries.end(), [](const Entry& a, const Entry& b) {
        return std::tie(a.createdMs, a.name, a.address) < std::tie(b.createdMs, b.name, b.address);
    });
    return out;
}

std::uint64_t RedisStore::version(const std::string& game) {
    std::lock_guard lock(mutex_);
    Reply r = command({"GET", prefix_ + "v:" + game});
    if (r->type == REDIS_REPLY_NIL) return 0;
    return static_cast<std::uint64_t>(toInt(replyString(r.get())));
}

bool RedisStore::healthy() {
    std::lock_guard lock(mutex_);
    try {
        Reply r = command({"PING"});
        return r->type == REDIS_REPLY_STATUS;
    } catch (const StoreError&) {
        return false;
    }
}

}  // namespace listd
