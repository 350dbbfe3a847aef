#include "startup/symbol_table.hpp"

#include <gtest/gtest.h>

#include <algorithm>

#include <string>
#include <vector>

#include "startup/host_runtime.hpp"

namespace trelm {
namespace {

std::vector<std::string> walk(SymbolTable& table) {
    std::vector<std::string> names;
    while (const char* n = table.next()) names.emplace_back(n);
    return names;
}

TEST(SymbolTable, WalksInAscendingByteOrderAndEmptiesAtTheEnd) {
    SymbolTable table;
    table.fill({{"b", 2, nullptr}, {"_x", 3, nullptr}, {"B", 4, nullptr}, {"\xc8", 5, nullptr}, {"a", 1, nullptr}});
    EXPECT_EQ(table.lookup("a"), 1);
    EXPECT_EQ(table.lookup("\xc8"), 5);
    EXPECT_EQ(table.lookup("A"), -1);
    EXPECT_EQ(walk(table), (std::vector<std::string>{"B", "_x", "a", "b", "\xc8"}));
    EXPECT_TRUE(table.empty());
    EXPECT_EQ(table.lookup("a"), -1);
}

TEST(SymbolTable, LaterRegistrationOverwrites) {
    SymbolTable table;
    table.fill({{"n", 1, nullptr}, {"m", 7, nullptr}, {"n", 2, nullptr}});
    EXPECT_EQ(table.size(), 2u);
    EXPECT_EQ(table.lookup("n"), 2);
}

TEST(HostRuntime, VersionAndRepeatableWalks) {
    HostRuntime& host = *runtimeGetRuntime();
    EXPECT_EQ(&host, runtimeGetRuntime());
    EXPECT_EQ(host.getVersion(), 66642);

    std::vector<std::string> first, second;
    while (const char* n = host.nextSymbolName()) {
        first.emplace_back(n);
        EXPECT_NE(host.lookupSymbol(n), -1) << n;
    }
    EXPECT_EQ(host.lookupSymbol("End"), -1);  // the table is empty after a walk
    while (const char* n = host.nextSymbolName()) second.emplace_back(n);
    EXPECT_EQ(first, second);
    EXPECT_TRUE(std::is_sorted(first.begin(), first.end()));
    for (const char* expected : {"End", "%MilliSecs", "_kxDebugStmt", "_kxStrLoad", "RuntimeStats"})
        EXPECT_NE(std::find(first.begin(), first.end(), expected), first.end()) << expected;

    host.nextSymbolName();
    host.detach();
    EXPECT_EQ(host.lookupSymbol("End"), -1);
}

// Hosts reach the operations by slot: getVersion is slot 0, lookupSymbol slot 2.
TEST(HostRuntime, OperationsAreInSlotOrder) {
    HostRuntime* host = runtimeGetRuntime();
    void** slots = *reinterpret_cast<void***>(host);
    auto getVersion = reinterpret_cast<std::int32_t (*)(HostRuntime*)>(slots[0]);
    auto nextSymbolName = reinterpret_cast<const char* (*)(HostRuntime*)>(slots[1]);
    auto lookupSymbol = reinterpret_cast<std::intptr_t (*)(HostRuntime*, const char*)>(slots[2]);
    auto detach = reinterpret_cast<void (*)(HostRuntime*)>(slots[4]);
    EXPECT_EQ(getVersion(host), 66642);
    const char* first = nextSymbolName(host);
    ASSERT_NE(first, nullptr);
    EXPECT_NE(lookupSymbol(host, first), -1);
    detach(host);
    EXPECT_EQ(lookupSymbol(host, "End"), -1);
}

}  // namespace
}  // namespace trelm
