// The same cases run on every store, so the two can never disagree.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "listd/redis_store.hpp"
#include "listd/sqlite_store.hpp"
#include "support.hpp"

namespace listd {
namespace {

using test::RedisServer;
using test::TempDir;

struct Backend {
    const char* name;
    std::function<std::unique_ptr<Store>(const TempDir&)> make;
};
void PrintTo(const Backend& b, std::ostream* os) { *os << b.name; }

const Backend kBackends[] = {
    {"Sqlite", [](const TempDir& dir) { return std::make_unique<SqliteStore>(dir.file("list.db"), SyncMode::Normal); }},
    {"Redis",
     [](const TempDir&) {
         return std::make_unique<RedisStore>(parseRedisUrl(RedisServer::shared().url()), test::uniquePrefix());
     }},
};

class StoreTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override { store = GetParam().make(dir); }

    std::vector<std::string> names(const std::string& game = "G") {
        std::vector<std::string> out;
        for (const Entry& e : store->list(game, now).entries) out.push_back(e.name + "@" + e.address);
        return out;
    }

    TempDir dir;
    std::unique_ptr<Store> store;
    std::int64_t now = 1'700'000'000'000;
    Limits limits{300'000, 3, 5};
};

TEST_P(StoreTest, AddRenewsTheSameKeyAndUpdatesThePasswordFlag) {
    EXPECT_EQ(store->add({"G", "Alpha", "10.0.0.1"}, false, now, limits), AddResult::Added);
    now += 1000;
    EXPECT_EQ(store->add({"G", "Beta", "10.0.0.1"}, false, now, limits), AddResult::Added);
    // The same name from another host is another game.
    EXPECT_EQ(store->add({"G", "Alpha", "10.0.0.2"}, true, now, limits), AddResult::Added);
    std::uint64_t before = store->list("G", now).version;
    now += 1000;
    EXPECT_EQ(store->add({"G", "Alpha", "10.0.0.1"}, true, now, limits), AddResult::Renewed);

    Listing l = store->list("G", now);
    EXPECT_NE(l.version, before) << "a changed password flag must invalidate cached lists";
    EXPECT_EQ(l.version, store->version("G"));
    ASSERT_EQ(l.entries.size(), 3u);
    // Oldest first, and renewing keeps a game's place.
    EXPECT_EQ(l.entries[0].name, "Alpha");
    EXPECT_EQ(l.entries[0].address, "10.0.0.1");
    EXPECT_TRUE(l.entries[0].pass);
    EXPECT_EQ(l.entries[0].expiresMs, now + limits.ttlMs);
    EXPECT_EQ(l.entries[1].name, "Alpha");
    EXPECT_EQ(l.entries[1].address, "10.0.0.2");
    EXPECT_EQ(l.entries[2].name, "Beta");
    EXPECT_FALSE(l.entries[2].pass);
    EXPECT_EQ(l.validUntilMs, now - 1000 + limits.ttlMs);
    EXPECT_TRUE(store->list("other game", now).entries.empty());
}

TEST_P(StoreTest, OnlyTheOwningAddressRefreshesOrRemoves) {
    store->add({"G", "Alpha", "10.0.0.1"}, false, now, limits);
    EXPECT_FALSE(store->refresh({"G", "Alpha", "10.0.0.9"}, now, limits));
    EXPECT_FALSE(store->remove({"G", "Alpha", "10.0.0.9"}, now, limits));
    EXPECT_FALSE(store->refresh({"G", "Nobody", "10.0.0.1"}, now, limits));
    EXPECT_FALSE(store->remove({"H", "Alpha", "10.0.0.1"}, now, limits));
    EXPECT_EQ(names(), std::vector<std::string>{"Alpha@10.0.0.1"});

    std::uint64_t before = store->version("G");
    EXPECT_TRUE(store->remove({"G", "Alpha", "10.0.0.1"}, now, limits));
    EXPECT_NE(store->version("G"), before);
    EXPECT_TRUE(names().empty());
    EXPECT_FALSE(store->remove({"G", "Alpha", "10.0.0.1"}, now, limits));
}

TEST_P(StoreTest, EntriesExpireUnlessRenewed) {
    store->add({"G", "Renewed", "10.0.0.1"}, false, now, limits);
    store->add({"G", "Forgotten", "10.0.0.2"}, false, now, limits);
    now += 150'000;
    EXPECT_TRUE(store->refresh({"G", "Renewed", "10.0.0.1"}, now, limits));
    now += 150'000;  // the forgotten one is exactly at its deadline
    EXPECT_EQ(names(), std::vector<std::string>{"Renewed@10.0.0.1"});
    EXPECT_FALSE(store->refresh({"G", "Forgotten", "10.0.0.2"}, now, limits)) << "an expired game stays gone";
    EXPECT_FALSE(store->remove({"G", "Forgotten", "10.0.0.2"}, now, limits));
    now += 149'999;
    EXPECT_EQ(names(), std::vector<std::string>{"Renewed@10.0.0.1"});
    now += 1;
    EXPECT_TRUE(names().empty());
    // Adding again after expiry is a new game, placed as such.
    EXPECT_EQ(store->add({"G", "Forgotten", "10.0.0.2"}, false, now, limits), AddResult::Added);
}

TEST_P(StoreTest, LimitsCountOnlyLiveEntries) {
    for (const char* name : {"a", "b", "c"}) EXPECT_EQ(store->add({"G", name, "10.0.0.1"}, false, now, limits), AddResult::Added);
    EXPECT_EQ(store->add({"G", "d", "10.0.0.1"}, false, now, limits), AddResult::AddressFull);
    EXPECT_EQ(store->add({"H", "d", "10.0.0.1"}, false, now, limits), AddResult::AddressFull) << "the cap spans games";
    EXPECT_EQ(store->add({"G", "a", "10.0.0.1"}, true, now, limits), AddResult::Renewed) << "renewing is not adding";
    EXPECT_EQ(store->add({"G", "e", "10.0.0.2"}, false, now, limits), AddResult::Added);
    EXPECT_EQ(store->add({"G", "f", "10.0.0.2"}, false, now, limits), AddResult::Added);
    EXPECT_EQ(store->add({"G", "g", "10.0.0.3"}, false, now, limits), AddResult::StoreFull);
    EXPECT_EQ(names().size(), 5u);

    EXPECT_TRUE(store->remove({"G", "a", "10.0.0.1"}, now, limits));
    EXPECT_EQ(store->add({"G", "g", "10.0.0.3"}, false, now, limits), AddResult::Added);
    now += limits.ttlMs;
    EXPECT_EQ(store->add({"G", "x", "10.0.0.1"}, false, now, limits), AddResult::Added)
        << "expired games must not hold places";
}

TEST_P(StoreTest, KeepsArbitraryBytesOfNames) {
    const std::string name = "Jos\xe9 \xc0 \x80\xff #1 >> x";
    const std::string game = "KAMIRO VESTA \xe9";
    store->add({game, name, "2001:db8::1"}, true, now, limits);
    Listing l = store->list(game, now);
    ASSERT_EQ(l.entries.size(), 1u);
    EXPECT_EQ(l.entries[0].name, name);
    EXPECT_EQ(l.entries[0].address, "2001:db8::1");
    EXPECT_TRUE(store->refresh({game, name, "2001:db8::1"}, now, limits));
}

TEST_P(StoreTest, Healthy) { EXPECT_TRUE(store->healthy()); }

INSTANTIATE_TEST_SUITE_P(Stores, StoreTest, ::testing::ValuesIn(kBackends),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SqliteStoreTest, ReopenedFileKeepsTheList) {
    TempDir dir;
    Limits limits;
    std::int64_t now = 1'700'000'000'000;
    {
        SqliteStore store(dir.file("list.db"), SyncMode::Full);
        store.add({"G", "Kept", "10.0.0.1"}, true, now, limits);
        store.add({"G", "Short", "10.0.0.2"}, false, now - 200'000, limits);
    }
    SqliteStore store(dir.file("list.db"), SyncMode::Full);
    Listing l = store.list("G", now + 150'000);
    ASSERT_EQ(l.entries.size(), 1u);
    EXPECT_EQ(l.entries[0].name, "Kept");
    EXPECT_TRUE(l.entries[0].pass);
}

TEST(SqliteStoreTest, UnopenablePathThrows) {
    EXPECT_THROW(SqliteStore("/nonexistent-dir/list.db", SyncMode::Full), StoreError);
}

TEST(RedisStoreTest, UnreachableServerThrows) {
    int port = test::freePort();
    EXPECT_THROW(RedisStore(parseRedisUrl("redis://127.0.0.1:" + std::to_string(port)), "x:"), StoreError);
}

TEST(RedisStoreTest, ParsesUrls) {
    struct Case {
        const char* url;
        const char* host;
        int port;
        const char* user;
        const char* password;
        int db;
    } const cases[] = {
        {"redis://", "127.0.0.1", 6379, "", "", 0},
        {"redis://cache.internal", "cache.internal", 6379, "", "", 0},
        {"redis://cache:6380/2", "cache", 6380, "", "", 2},
        {"redis://:secret@cache:1", "cache", 1, "", "secret", 0},
        {"redis://listd:se:cret@[::1]:7000/0", "::1", 7000, "listd", "se:cret", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        RedisUrl u = parseRedisUrl(c.url);
        EXPECT_EQ(u.host, c.host);
        EXPECT_EQ(u.port, c.port);
        EXPECT_EQ(u.user, c.user);
        EXPECT_EQ(u.password, c.password);
        EXPECT_EQ(u.db, c.db);
    }
    for (const char* bad : {"http://cache", "redis://cache:0", "redis://cache:x", "redis://cache/-1", "redis://[::1"})
        EXPECT_THROW(parseRedisUrl(bad), StoreError) << bad;
}

}  // namespace
}  // namespace listd
