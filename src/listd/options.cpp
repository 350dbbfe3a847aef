#include "listd/options.hpp"

#include <charconv>
#include <cmath>
#include <string_view>

namespace listd {

namespace {

long long integer(const std::string& option, const std::string& text, long long min, long long max) {
    long long value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty() || value < min || value > max)
        throw OptionError(option + ": expected a whole number from " + std::to_string(min) + " to " +
                          std::to_string(max) + ", got \"" + text + "\"");
    return value;
}

double number(const std::string& option, const std::string& text, double min, double max) {
    std::size_t used = 0;
    double value = 0;
    try {
        value = std::stod(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used == 0 || used != text.size() || !std::isfinite(value) || value < min || value > max)
        throw OptionError(option + ": expected a number from " + std::to_string(min) + " to " +
                          std::to_string(max) + ", got \"" + text + "\"");
    return value;
}

int millis(const std::string& option, const std::string& text) {
    return static_cast<int>(std::lround(number(option, text, 0.001, 86'400) * 1000));
}

}  // namespace

void parseListen(const std::string& text, std::string& host, int& port) {
    std::size_t colon;
    if (!text.empty() && text.front() == '[') {
        std::size_t close = text.find(']');
        if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':')
            throw OptionError("--listen: expected [ADDRESS]:PORT, got \"" + text + "\"");
        host = text.substr(1, close - 1);
        colon = close + 1;
    } else {
        colon = text.rfind(':');
        if (colon == std::string::npos) throw OptionError("--listen: expected HOST:PORT, got \"" + text + "\"");
        host = text.substr(0, colon);
    }
    port = static_cast<int>(integer("--listen", text.substr(colon + 1), 0, 65535));
}

std::string usage() {
    return R"(Usage: kamiro-listd [OPTION]...
The list of open network games of Kamiro Vesta, served over HTTP.

  --listen HOST:PORT          address to serve on (default 0.0.0.0:80; [::]:80 for IPv6)
  --db PATH                   SQLite file of the list (default kamiro-listd.db)
  --sync full|normal          SQLite durability: full survives power loss, normal
                              survives a killed service only (default full)
  --redis URL                 share the list through Redis instead of SQLite:
                              redis://[[USER]:PASSWORD@]HOST[:PORT][/DB]
  --redis-prefix TEXT         prefix of every Redis key (default kamiro-listd:)
  --ttl SECONDS               a game not renewed for this long leaves the list (default 300)
  --max-entries-per-address N games one address may list at once (default 8)
  --max-entries N             games on the whole list (default 10000)
  --rate N                    requests per second per address, 0 for no limit (default 10)
  --burst N                   requests an address may save up (default 20)
  --max-request-line BYTES    longest request line (default 2048)
  --max-header-bytes BYTES    largest header section (default 8192)
  --max-connections N         open connections at once (default 1024)
  --idle-timeout SECONDS      close an idle keep-alive connection (default 15)
  --request-timeout SECONDS   time a client has to send a whole request (default 10)
  --threads N                 worker threads, 0 for one per processor (default 0)
  --trust-proxy               take the client address from X-Forwarded-For (only
                              behind a reverse proxy that sets it)
  --quiet                     no request log
  --help                      show this help and exit
  --version                   show the version and exit
)";
}

Options parseOptions(int argc, const char* const* argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        bool inlineValue = false;
        if (std::size_t eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
            inlineValue = true;
        }
        auto flag = [&] {
            if (inlineValue) throw OptionError(arg + " takes no value");
        };
        auto next = [&]() -> const std::string& {
            if (!inlineValue) {
                if (i + 1 >= argc) throw OptionError(arg + " needs a value");
                value = argv[++i];
            }
            return value;
        };
        if (arg == "--help" || arg == "-h") {
            flag();
            o.help = true;
        } else if (arg == "--version") {
            flag();
            o.version = true;
        } else if (arg == "--listen") {
            parseListen(next(), o.server.host, o.server.port);
        } else if (arg == "--db") {
            o.db = next();
            if (o.db.empty()) throw OptionError("--db needs a path");
        } else if (arg == "--sync") {
            const std::string& v = next();
            if (v == "full")
                o.sync = SyncMode::Full;
            else if (v == "normal")
                o.sync = SyncMode::Normal;
            else
                throw OptionError("--sync: expected full or normal, got \"" + v + "\"");
        } else if (arg == "--redis") {
            o.redis = next();
        } else if (arg == "--redis-prefix") {
            o.redisPrefix = next();
        } else if (arg == "--ttl") {
            o.service.limits.ttlMs = millis(arg, next());
        } else if (arg == "--max-entries-per-address") {
            o.service.limits.maxPerAddress = static_cast<int>(integer(arg, next(), 1, 1'000'000));
        } else if (arg == "--max-entries") {
            o.service.limits.maxEntries = static_cast<int>(integer(arg, next(), 1, 100'000'000));
        } else if (arg == "--rate") {
            o.service.rate = number(arg, next(), 0, 1e9);
        } else if (arg == "--burst") {
            o.service.burst = number(arg, next(), 1, 1e9);
        } else if (arg == "--max-request-line") {
            o.server.http.maxRequestLine = static_cast<std::size_t>(integer(arg, next(), 64, 1 << 20));
        } else if (arg == "--max-header-bytes") {
            o.server.http.maxHeaderBytes = static_cast<std::size_t>(integer(arg, next(), 64, 1 << 20));
        } else if (arg == "--max-connections") {
            o.server.maxConnections = static_cast<int>(integer(arg, next(), 1, 1'000'000));
        } else if (arg == "--idle-timeout") {
            o.server.idleTimeoutMs = millis(arg, next());
        } else if (arg == "--request-timeout") {
            o.server.requestTimeoutMs = millis(arg, next());
        } else if (arg == "--threads") {
            o.server.threads = static_cast<int>(integer(arg, next(), 0, 256));
        } else if (arg == "--trust-proxy") {
            flag();
            o.service.trustProxy = true;
        } else if (arg == "--quiet") {
            flag();
            o.server.logFd = -1;
        } else {
            throw OptionError("unknown option " + arg);
        }
    }
    return o;
}

}  // namespace listd
