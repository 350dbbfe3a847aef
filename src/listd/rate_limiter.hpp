#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>

namespace listd {

// Token bucket per address: `rate` tokens a second, at most `burst` saved up.
// A rate of 0 turns limiting off.
class RateLimiter {
public:
    RateLimiter(double rate, double burst);
    bool allow(const std::string& address, std::int64_t nowMs);

private:
    struct Bucket {
        double tokens;
        std::int64_t lastMs;
    };
    struct Shard {
        std::mutex mutex;
        std::unordered_map<std::string, Bucket> buckets;
        std::int64_t lastSweepMs = 0;
    };
    void sweep(Shard& shard, std::int64_t nowMs);

    double rate_;
    double burst_;
    std::array<Shard, 16> shards_;
};

}  // namespace listd
