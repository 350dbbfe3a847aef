#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "listd/clock.hpp"
#include "listd/http.hpp"
#include "listd/rate_limiter.hpp"
#include "listd/store.hpp"

namespace listd {

constexpr std::size_t kMaxNameBytes = 64;

// What the game's list parser can carry: at most 64 bytes, no control
// characters (a line feed would start a fake row), no ";" (the field
// separator) and no "<" (a name holding "</html>" would end the list).
bool validName(std::string_view name);

// The address as a client sees it: IPv4-mapped IPv6 becomes dotted IPv4.
// Empty when `text` is not an IP address.
std::string normalizeAddress(std::string_view text);

struct ServiceConfig {
    Limits limits;
    double rate = 10;
    double burst = 20;
    // Take the client address from the last X-Forwarded-For element, which
    // only a reverse proxy in front of the service can vouch for.
    bool trustProxy = false;
};

struct Response {
    int status = 200;
    // Either one buffer holding head and body (the cached list reply) or a
    // head and an optional shared body.
    std::shared_ptr<const std::string> whole;
    std::string head;
    std::shared_ptr<const std::string> body;
    bool close = false;
    std::string address;  // the client as the service saw it, for the log
};

// The rendered list per game, private to one worker thread so the hot path
// takes no lock; bounded so that made-up game names cannot grow it.
class ListCache {
public:
    struct Item {
        std::uint64_t version = 0;
        std::int64_t validUntilMs = 0;
        std::shared_ptr<const std::string> body;
        std::shared_ptr<const std::string> whole;  // keep-alive reply
    };
    Item* find(const std::string& game);
    Item& put(const std::string& game, Item item);

private:
    static constexpr std::size_t kMaxGames = 64;
    std::unordered_map<std::string, Item> items_;
};

class Service {
public:
    Service(Store& store, const Clock& clock, ServiceConfig config);
    Response handle(const Request& request, const std::string& peerAddress, ListCache& cache);

    // The body of /list.php for these entries.
    static std::string renderList(const Listing& listing);

    // Called with a description when the store fails, for the log.
    std::function<void(const std::string&)> onStoreError;

private:
    Response route(const Request& request, const std::string& address, ListCache& cache);
    Response listReply(const std::string& game, bool close, ListCache& cache);

    Store& store_;
    const Clock& clock_;
    ServiceConfig config_;
    RateLimiter limiter_;
};

}  // namespace listd
