// kamiro-listd: the list of open network games that hosts announce
// themselves to and joining players download.
#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

#include "listd/options.hpp"
#include "listd/redis_store.hpp"
#include "listd/server.hpp"
#include "listd/sqlite_store.hpp"

namespace {

std::mutex logMutex;

void logLine(const std::string& text) {
    std::lock_guard lock(logMutex);
    std::fprintf(stderr, "kamiro-listd: %s\n", text.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    listd::Options options;
    try {
        options = listd::parseOptions(argc, argv);
    } catch (const listd::OptionError& e) {
        std::fprintf(stderr, "kamiro-listd: %s\nTry 'kamiro-listd --help'.\n", e.what());
        return 2;
    }
    if (options.help) {
        std::fputs(listd::usage().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("kamiro-listd %s\n", listd::kVersion);
        return 0;
    }

    // Signals are taken by sigwait below; every thread started later
    // inherits the mask, so none of them is interrupted.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    std::unique_ptr<listd::Store> store;
    std::string where;
    try {
        if (!options.redis.empty()) {
            store = std::make_unique<listd::RedisStore>(listd::parseRedisUrl(options.redis), options.redisPrefix);
            where = "redis " + options.redis;
        } else {
            store = std::make_unique<listd::SqliteStore>(options.db, options.sync);
            where = "sqlite " + options.db;
        }
    } catch (const listd::StoreError& e) {
        logLine(e.what());
        return 1;
    }

    listd::SystemClock clock;
    listd::Service service(*store, clock, options.service);
    service.onStoreError = logLine;
    listd::Server server(service, options.server);
    try {
        server.start();
    } catch (const std::exception& e) {
        logLine(e.what());
        return 1;
    }
    const std::string& host = options.server.host;
    logLine(std::string("version ") + listd::kVersion + " listening on " +
            (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" + std::to_string(server.port()) +
            ", store " + where);

    int received = 0;
    sigwait(&stopSignals, &received);
    logLine(std::string("stopping on ") + (received == SIGTERM ? "SIGTERM" : "SIGINT"));
    server.stop();
    return 0;
}
