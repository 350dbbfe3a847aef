// The service on loopback, spoken to with the game's own bytes, on each store.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <thread>

#include "listd/redis_store.hpp"
#include "listd/server.hpp"
#include "listd/sqlite_store.hpp"
#include "support.hpp"

namespace listd {
namespace {

using namespace std::chrono_literals;
using test::addAccepted;
using test::bodyOf;
using test::exchange;
using test::GameEntry;
using test::readAsGame;
using test::statusOf;

struct Backend {
    const char* name;
    std::function<std::unique_ptr<Store>(const test::TempDir&)> make;
};
void PrintTo(const Backend& b, std::ostream* os) { *os << b.name; }

const Backend kBackends[] = {
    {"Sqlite",
     [](const test::TempDir& dir) { return std::make_unique<SqliteStore>(dir.file("list.db"), SyncMode::Full); }},
    {"Redis",
     [](const test::TempDir&) {
         return std::make_unique<RedisStore>(parseRedisUrl(test::RedisServer::shared().url()), test::uniquePrefix());
     }},
};

// A running service with a hand-driven clock.
struct Running {
    Running(const Backend& backend, ServiceConfig serviceConfig = {}, ServerConfig serverConfig = {})
        : store(backend.make(dir)), service(*store, clock, serviceConfig) {
        serverConfig.host = "127.0.0.1";
        serverConfig.port = 0;
        serverConfig.threads = 2;
        serverConfig.logFd = -1;
        server = std::make_unique<Server>(service, serverConfig);
        server->start();
    }
    int port() const { return server->port(); }
    std::string send(std::string_view bytes) { return exchange(port(), bytes); }

    test::TempDir dir;
    ManualClock clock;
    std::unique_ptr<Store> store;
    Service service;
    std::unique_ptr<Server> server;
};

class ServiceTest : public ::testing::TestWithParam<Backend> {};

TEST_P(ServiceTest, EveryRouteWithTheGamesBytes) {
    Running r(GetParam());
    std::string reply = r.send(test::gameAdd("Sala de Jos\xe9", true));
    EXPECT_TRUE(addAccepted(reply)) << reply;
    EXPECT_EQ(reply.substr(0, reply.find("\r\n")), "HTTP/1.1 200 OK");
    r.clock.advanceMs(1);  // the list is in order of arrival
    EXPECT_TRUE(addAccepted(r.send(test::gameAdd("Open game", false))));

    std::string list = r.send(test::gameList());
    EXPECT_EQ(statusOf(list), 200);
    test::GameList seen = readAsGame(list);
    EXPECT_TRUE(seen.sawContentType);
    EXPECT_EQ(seen.expectedLength, static_cast<long>(bodyOf(list).size()));
    EXPECT_EQ(seen.count, 2);
    EXPECT_EQ(seen.entries, (std::vector<GameEntry>{{"Sala de Jos\xe9", true, "127.0.0.1"},
                                                     {"Open game", false, "127.0.0.1"}}));
    std::string body = bodyOf(list);
    EXPECT_NE(body.find("\nTotal de servidores: 2\n"), std::string::npos);
    EXPECT_EQ(body.substr(body.size() - 8), "</html>\n") << "the last line must end, or the game's reader waits";

    EXPECT_EQ(statusOf(r.send(test::gameRefresh("Open game"))), 200);
    EXPECT_EQ(statusOf(r.send(test::gameRemove("Sala de Jos\xe9"))), 200);
    seen = readAsGame(r.send(test::gameList()));
    EXPECT_EQ(seen.entries, (std::vector<GameEntry>{{"Open game", false, "127.0.0.1"}}));
    EXPECT_EQ(statusOf(r.send(test::gameRemove("Sala de Jos\xe9"))), 404);
    EXPECT_EQ(statusOf(r.send(test::gameRefresh("Never added"))), 404);

    std::string health = r.send("GET /health HTTP/1.1\r\n\r\n");
    EXPECT_EQ(statusOf(health), 200);
    EXPECT_EQ(statusOf(r.send("GET /nothing.php HTTP/1.1\r\n\r\n")), 404);
    // curl's forms of the same requests.
    EXPECT_EQ(statusOf(r.send("GET /list.php?out=plain&game=KAMIRO%20VESTA HTTP/1.1\r\nHost: x\r\nAccept: */*\r\n\r\n")), 200);
    EXPECT_EQ(statusOf(r.send("POST /refresh.php?server=Open%20game&game=KAMIRO%20VESTA HTTP/1.1\r\nHost: x\r\n"
                              "Content-Length: 0\r\nContent-Type: application/x-www-form-urlencoded\r\n\r\n")),
              200);
}

TEST_P(ServiceTest, ListsEmptyAndExpiredGamesAsNone) {
    Running r(GetParam());
    test::GameList seen = readAsGame(r.send(test::gameList()));
    EXPECT_TRUE(seen.sawContentType);
    EXPECT_EQ(seen.count, 0);

    EXPECT_TRUE(addAccepted(r.send(test::gameAdd("Host A", false))));
    EXPECT_TRUE(addAccepted(r.send(test::gameAdd("Host B", false))));
    EXPECT_EQ(readAsGame(r.send(test::gameList())).count, 2);  // now cached
    r.clock.advanceMs(150'000);
    EXPECT_EQ(statusOf(r.send(test::gameRefresh("Host A"))), 200);
    r.clock.advanceMs(150'000);
    // Host B crashed; the cached list must not outlive it.
    seen = readAsGame(r.send(test::gameList()));
    EXPECT_EQ(seen.entries, (std::vector<GameEntry>{{"Host A", false, "127.0.0.1"}}));
    r.clock.advanceMs(150'000);
    EXPECT_EQ(readAsGame(r.send(test::gameList())).count, 0);
}

TEST_P(ServiceTest, ReAddingUpdatesThePasswordFlagInTheServedList) {
    Running r(GetParam());
    EXPECT_TRUE(addAccepted(r.send(test::gameAdd("Game", false))));
    EXPECT_FALSE(readAsGame(r.send(test::gameList())).entries.at(0).pass);
    EXPECT_TRUE(addAccepted(r.send(test::gameAdd("Game", true))));
    test::GameList seen = readAsGame(r.send(test::gameList()));
    ASSERT_EQ(seen.entries.size(), 1u);
    EXPECT_TRUE(seen.entries[0].pass);
}

TEST_P(ServiceTest, RejectsNamesThatWouldBreakTheList) {
    Running r(GetParam());
    const std::string tooLong(65, 'n');
    for (const std::string& server :
         {std::string("a;true;6.6.6.6"), std::string("x%3C/html%3E"), std::string("two%0A>> fake;false;1.1.1.1"),
          tooLong, std::string(), std::string("bad%zz")}) {
        std::string request = "POST /add.php?server=" + server + "&game=KAMIRO%20VESTA HTTP/1.1\r\nHOST: h\r\n\r\n";
        std::string reply = r.send(request);
        EXPECT_EQ(statusOf(reply), 400) << server;
        EXPECT_FALSE(addAccepted(reply));
    }
    EXPECT_EQ(statusOf(r.send("POST /add.php?game=KAMIRO%20VESTA HTTP/1.1\r\n\r\n")), 400);
    EXPECT_EQ(statusOf(r.send("POST /add.php?server=a&game=K;V HTTP/1.1\r\n\r\n")), 400);
    EXPECT_EQ(statusOf(r.send("POST /list.php?out=plain HTTP/1.1\r\n\r\n")), 400);
    EXPECT_EQ(statusOf(r.send("DELETE /list.php?game=G HTTP/1.1\r\n\r\n")), 405);
    EXPECT_TRUE(addAccepted(r.send(test::gameAdd(std::string(64, 'n'), false))));
    EXPECT_EQ(readAsGame(r.send(test::gameList())).count, 1);
}

TEST_P(ServiceTest, AbuseLimits) {
    ServiceConfig cfg;
    cfg.limits.maxPerAddress = 2;
    cfg.limits.maxEntries = 3;
    cfg.trustProxy = true;  // to speak from several addresses over loopback
    Running r(GetParam(), cfg);
    auto from = [](std::string request, const std::string& address) {
        return request.insert(request.size() - 2, "X-Forwarded-For: " + address + "\r\n");
    };
    EXPECT_EQ(statusOf(r.send(from(test::gameAdd("a1", false), "10.0.0.1"))), 200);
    EXPECT_EQ(statusOf(r.send(from(test::gameAdd("a2", false), "10.0.0.1"))), 200);
    EXPECT_EQ(statusOf(r.send(from(test::gameAdd("a3", false), "10.0.0.1"))), 403);
    EXPECT_EQ(statusOf(r.send(from(test::gameAdd("b1", false), "spoofed, 10.0.0.2"))), 200);
    EXPECT_EQ(statusOf(r.send(from(test::gameAdd("c1", false), "10.0.0.3"))), 503);
    // Another address can neither renew nor remove a game it does not host.
    EXPECT_EQ(statusOf(r.send(from(test::gameRemove("a1"), "10.0.0.3"))), 404);
    EXPECT_EQ(statusOf(r.send(from(test::gameRefresh("a1"), "10.0.0.3"))), 404);
    test::GameList seen = readAsGame(r.send(test::gameList()));
    EXPECT_EQ(seen.entries, (std::vector<GameEntry>{{"a1", false, "10.0.0.1"},
                                                     {"a2", false, "10.0.0.1"},
                                                     {"b1", false, "10.0.0.2"}}));

    // Requests per address: the burst, then the steady rate; /health is exempt.
    test::Connection c(r.port());
    std::string list = from(test::gameList(), "10.9.9.9");
    int ok = 0;
    for (int i = 0; i < 25; ++i) {
        c.send(list);
        int status = statusOf(c.readReply());
        if (status == 200) ++ok;
        else EXPECT_EQ(status, 429);
    }
    EXPECT_EQ(ok, 20);
    c.send("GET /health HTTP/1.1\r\nX-Forwarded-For: 10.9.9.9\r\n\r\n");
    EXPECT_EQ(statusOf(c.readReply()), 200);
    r.clock.advanceMs(100);
    c.send(list);
    EXPECT_EQ(statusOf(c.readReply()), 200);
    c.send(list);
    std::string limited = c.readReply();
    EXPECT_EQ(statusOf(limited), 429);
    EXPECT_NE(limited.find("Retry-After: 1\r\n"), std::string::npos);
    EXPECT_EQ(statusOf(r.send(from(test::gameList(), "10.9.9.8"))), 200);
}

INSTANTIATE_TEST_SUITE_P(Stores, ServiceTest, ::testing::ValuesIn(kBackends),
                         [](const auto& info) { return std::string(info.param.name); });

// Connection handling does not depend on the store.
class ConnectionTest : public ::testing::Test {
protected:
    const Backend& sqlite = kBackends[0];
};

TEST_F(ConnectionTest, KeepAlivePipeliningAndClose) {
    Running r(sqlite);
    test::Connection c(r.port());
    // Three requests in one write, answered in order on the same connection.
    c.send(test::gameAdd("P", false) + test::gameList() + "HEAD /list.php?game=KAMIRO%20VESTA HTTP/1.1\r\n\r\n");
    EXPECT_EQ(statusOf(c.readReply()), 200);
    EXPECT_EQ(readAsGame(c.readReply()).count, 1);
    c.send("GET /health HTTP/1.1\r\nConnection: close\r\n\r\n");
    std::string rest = c.readAll();  // the HEAD reply, then health, then the close
    EXPECT_EQ(statusOf(rest), 200);
    EXPECT_EQ(rest.find("Total de servidores"), std::string::npos) << "HEAD has no body";
    std::size_t health = rest.find("HTTP/1.1 200 OK", 1);
    ASSERT_NE(health, std::string::npos);
    EXPECT_NE(rest.find("Content-Type: text/html\r\n"), std::string::npos);
    EXPECT_EQ(rest.substr(health), "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 10\r\n"
                                   "Connection: close\r\n\r\nok sqlite\n");

    std::string old = r.send("GET /list.php?game=KAMIRO%20VESTA HTTP/1.0\r\n\r\n");
    EXPECT_NE(old.find("Connection: close\r\n"), std::string::npos);
    EXPECT_EQ(readAsGame(old).count, 1);
}

TEST_F(ConnectionTest, ForwardedForIsIgnoredUnlessTrusted) {
    Running r(sqlite);
    std::string add = test::gameAdd("Spoofer", false);
    add.insert(add.size() - 2, "X-Forwarded-For: 198.51.100.9\r\n");
    EXPECT_TRUE(addAccepted(r.send(add)));
    EXPECT_EQ(readAsGame(r.send(test::gameList())).entries,
              (std::vector<GameEntry>{{"Spoofer", false, "127.0.0.1"}}));
}

TEST_F(ConnectionTest, OversizedRequestsAreAnsweredAndClosed) {
    ServerConfig cfg;
    cfg.http.maxRequestLine = 256;
    cfg.http.maxHeaderBytes = 256;
    Running r(sqlite, {}, cfg);
    struct Case {
        std::string bytes;
        int status;
    } const cases[] = {
        {"GET /list.php?game=" + std::string(300, 'g') + " HTTP/1.1\r\n\r\n", 414},
        {"GET /health HTTP/1.1\r\nX-Big: " + std::string(300, 'h') + "\r\n\r\n", 431},
        {"GET /health HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", 501},
        {"GARBAGE\r\n\r\n", 400},
    };
    for (const Case& k : cases) {
        test::Connection c(r.port());
        c.send(k.bytes);
        std::string reply = c.readReply();
        EXPECT_EQ(statusOf(reply), k.status);
        EXPECT_NE(reply.find("Connection: close\r\n"), std::string::npos);
        EXPECT_TRUE(c.closedByPeer(3s));
    }
}

TEST_F(ConnectionTest, IdleAndSlowConnectionsTimeOut) {
    ServerConfig cfg;
    cfg.idleTimeoutMs = 200;
    cfg.requestTimeoutMs = 300;
    Running r(sqlite, {}, cfg);
    test::Connection idle(r.port());
    test::Connection slow(r.port());
    slow.send("POST /list.php?game=KAMIRO");  // and never the rest
    test::Connection used(r.port());
    used.send(test::gameList());
    EXPECT_EQ(statusOf(used.readReply()), 200);
    EXPECT_TRUE(idle.closedByPeer(3s));
    EXPECT_EQ(statusOf(slow.readReply()), 408);
    EXPECT_TRUE(used.closedByPeer(3s)) << "a kept-alive connection is idle once answered";
}

TEST_F(ConnectionTest, ConnectionsBeyondTheLimitWait) {
    ServerConfig cfg;
    cfg.maxConnections = 2;
    Running r(sqlite, {}, cfg);
    auto a = std::make_unique<test::Connection>(r.port());
    test::Connection b(r.port());
    a->send(test::gameList());
    b.send(test::gameList());
    EXPECT_EQ(statusOf(a->readReply()), 200);
    EXPECT_EQ(statusOf(b.readReply()), 200);
    test::Connection c(r.port());  // queued by the kernel, not served
    c.send("GET /health HTTP/1.1\r\n\r\n");
    EXPECT_FALSE(c.closedByPeer(300ms));
    a.reset();
    EXPECT_EQ(statusOf(c.readReply()), 200);
}

TEST_F(ConnectionTest, ManyClientsAtOnce) {
    Running r(sqlite);
    ASSERT_TRUE(test::addAccepted(r.send(test::gameAdd("Busy", false))));
    std::vector<std::thread> threads;
    std::atomic<int> good{0};
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&] {
            test::Connection c(r.port());
            for (int i = 0; i < 2; ++i) {  // within the default burst of one address
                c.send(test::gameList());
                if (readAsGame(c.readReply()).count == 1) ++good;
            }
        });
    }
    for (auto& t : threads) t.join();
    // All 16 share the loopback address: the burst of 20 admits them all.
    EXPECT_EQ(good.load(), 16);
}

}  // namespace
}  // namespace listd
