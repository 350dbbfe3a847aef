#include "listd/rate_limiter.hpp"

#include <algorithm>
#include <functional>

namespace listd {

RateLimiter::RateLimiter(double rate, double burst) : rate_(rate), burst_(std::max(burst, 1.0)) {}

bool RateLimiter::allow(const std::string& address, std::int64_t nowMs) {
    if (rate_ <= 0) return true;
    Shard& shard = shards_[std::hash<std::string>{}(address) % shards_.size()];
    std::lock_guard lock(shard.mutex);
    // A bucket that has refilled completely says nothing: dropping it keeps
    // memory bounded by the addresses active in the last few seconds.
    if (nowMs - shard.lastSweepMs > 10'000 || shard.buckets.size() > 4096) sweep(shard, nowMs);
    auto [it, fresh] = shard.buckets.try_emplace(address, Bucket{burst_, nowMs});
    Bucket& b = it->second;
    if (!fresh && nowMs > b.lastMs) {
        b.tokens = std::min(burst_, b.tokens + static_cast<double>(nowMs - b.lastMs) * rate_ / 1000.0);
        b.lastMs = nowMs;
    }
    if (b.tokens < 1.0) return false;
    b.tokens -= 1.0;
    return true;
}

void RateLimiter::sweep(Shard& shard, std::int64_t nowMs) {
    shard.lastSweepMs = nowMs;
    std::erase_if(shard.buckets, [&](const auto& item) {
        const Bucket& b = item.second;
        return b.tokens + static_cast<double>(nowMs - b.lastMs) * rate_ / 1000.0 >= burst_;
    });
}

}  // namespace listd
