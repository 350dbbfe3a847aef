#include "listd/service.hpp"

#include <arpa/inet.h>

#include <cstring>

namespace listd {

namespace {

constexpr std::string_view kPlain = "text/plain";

Response text(int status, std::string_view message, bool close, std::string_view extraHeaders = {}) {
    Response r;
    r.status = status;
    auto body = std::make_shared<std::string>(message);
    *body += '\n';
    r.head = responseHead(status, kPlain, body->size(), close, extraHeaders);
    r.body = std::move(body);
    r.close = close;
    return r;
}

// Validates a required name parameter; on failure `error` holds the reply.
const std::string* nameParam(const Request& request, std::string_view key, bool close,
                             std::optional<Response>& error) {
    const std::string* value = request.param(key);
    if (!value) {
        error = text(400, "missing parameter " + std::string(key), close);
        return nullptr;
    }
    if (!validName(*value)) {
        error = text(400, "bad " + std::string(key) + " name", close);
        return nullptr;
    }
    return value;
}

}  // namespace

bool validName(std::string_view name) {
    if (name.empty() || name.size() > kMaxNameBytes) return false;
    for (char ch : name) {
        auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7f || c == ';' || c == '<') return false;
    }
    return true;
}

std::string normalizeAddress(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    if (text.empty() || text.size() >= INET6_ADDRSTRLEN) return {};
    std::string s(text);
    char out[INET6_ADDRSTRLEN];
    in_addr v4;
    if (inet_pton(AF_INET, s.c_str(), &v4) == 1) return inet_ntop(AF_INET, &v4, out, sizeof out);
    in6_addr v6;
    if (inet_pton(AF_INET6, s.c_str(), &v6) != 1) return {};
    if (IN6_IS_ADDR_V4MAPPED(&v6)) {
        std::memcpy(&v4, &v6.s6_addr[12], 4);
        return inet_ntop(AF_INET, &v4, out, sizeof out);
    }
    return inet_ntop(AF_INET6, &v6, out, sizeof out);
}

ListCache::Item* ListCache::find(const std::string& game) {
    auto it = items_.find(game);
    return it == items_.end() ? nullptr : &it->second;
}

ListCache::Item& ListCache::put(const std::string& game, Item item) {
    if (items_.size() >= kMaxGames && !items_.count(game)) items_.clear();
    return items_[game] = std::move(item);
}

Service::Service(Store& store, const Clock& clock, ServiceConfig config)
    : store_(store), clock_(clock), config_(config), limiter_(config.rate, config.burst) {}

std::string Service::renderList(const Listing& listing) {
    std::string body;
    body.reserve(64 + listing.entries.size() * 48);
    body += "<html><body><pre>\n";
    body += "Total de servidores: ";
    body += std::to_string(listing.entries.size());
    body += '\n';
    for (const Entry& e : listing.entries) {
        body += ">> ";
        body += e.name;
        body += e.pass ? ";true;" : ";false;";
        body += e.address;
        body += '\n';
    }
    body += "</pre></body></html>\n";
    return body;
}

Response Service::handle(const Request& request, const std::string& peerAddress, ListCache& cache) {
    std::string address = peerAddress;
    if (config_.trustProxy && !request.forwardedFor.empty()) {
        std::string_view list = request.forwardedFor;
        std::size_t comma = list.rfind(',');
        std::string forwarded = normalizeAddress(comma == std::string_view::npos ? list : list.substr(comma + 1));
        if (!forwarded.empty()) address = std::move(forwarded);
    }
    Response r;
    bool close = !request.keepAlive;
    if (request.method != "GET" && request.method != "POST" && request.method != "HEAD") {
        r = text(405, "method not allowed", close, "Allow: GET, POST, HEAD\r\n");
    } else if (request.path != "/health" && !limiter_.allow(address, clock_.nowMs())) {
        r = text(429, "too many requests", close, "Retry-After: 1\r\n");
    } else {
        try {
            r = route(request, address, cache);
        } catch (const StoreError& e) {
            if (onStoreError) onStoreError(e.what());
            r = text(503, "store unavailable", close);
        }
    }
    if (request.method == "HEAD") {
        if (r.whole) {
            std::string_view whole = *r.whole;
            r.head = std::string(whole.substr(0, whole.find("\r\n\r\n") + 4));
            r.whole.reset();
        }
        r.body.reset();
    }
    r.address = std::move(address);
    return r;
}

Response Service::route(const Request& request, const std::string& address, ListCache& cache) {
    bool close = !request.keepAlive;
    const std::string& path = request.path;
    std::optional<Response> error;
    auto key = [&]() -> std::optional<EntryKey> {
        const std::string* game = nameParam(request, "game", close, error);
        if (!game) return std::nullopt;
        const std::string* server = nameParam(request, "server", close, error);
        if (!server) return std::nullopt;
        return EntryKey{*game, *server, address};
    };
    std::int64_t now = clock_.nowMs();
    if (path == "/list.php") {
        const std::string* game = nameParam(request, "game", close, error);
        if (!game) return std::move(*error);
        return listReply(*game, close, cache);
    }
    if (path == "/add.php") {
        auto k = key();
        if (!k) return std::move(*error);
        const std::string* pass = request.param("pass");
        switch (store_.add(*k, pass && *pass == "true", now, config_.limits)) {
            case AddResult::Added:
            case AddResult::Renewed: return text(200, "OK", close);
            case AddResult::AddressFull: return text(403, "too many games from this address", close);
            case AddResult::StoreFull: break;
        }
        return text(503, "the list is full", close);
    }
    if (path == "/refresh.php") {
        auto k = key();
        if (!k) return std::move(*error);
        return store_.refresh(*k, now, config_.limits) ? text(200, "OK", close)
                                                       : text(404, "no such game from this address", close);
    }
    if (path == "/remove.php") {
        auto k = key();
        if (!k) return std::move(*error);
        return store_.remove(*k, now, config_.limits) ? text(200, "OK", close)
                                                      : text(404, "no such game from this address", close);
    }
    if (path == "/health") {
        return store_.healthy() ? text(200, std::string("ok ") + store_.kind(), close)
                                : text(503, std::string("store unavailable: ") + store_.kind(), close);
    }
    return text(404, "not found", close);
}

Response Service::listReply(const std::string& game, bool close, ListCache& cache) {
    std::int64_t now = clock_.nowMs();
    std::uint64_t version = store_.version(game);
    ListCache::Item* item = cache.find(game);
    if (!item || item->version != version || now >= item->validUntilMs) {
        Listing listing = store_.list(game, now);
        ListCache::Item fresh;
        fresh.version = listing.version;
        fresh.validUntilMs = listing.validUntilMs;
        auto body = std::make_shared<std::string>(renderList(listing));
        auto whole = std::make_shared<std::string>(responseHead(200, "text/html", body->size(), false));
        *whole += *body;
        fresh.body = std::move(body);
        fresh.whole = std::move(whole);
        item = &cache.put(game, std::move(fresh));
    }
    Response r;
    r.status = 200;
    if (close) {
        r.head = responseHead(200, "text/html", item->body->size(), true);
        r.body = item->body;
        r.close = true;
    } else {
        r.whole = item->whole;
    }
    return r;
}

}  // namespace listd
