// The built program as it is deployed: durability, signals, the request log.
#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "support.hpp"

namespace listd {
namespace {

using namespace std::chrono_literals;

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The program on a free port; waits until it serves.
struct Program {
    Program(const test::TempDir& dir, std::vector<std::string> extra) : log(dir.file("listd.log")) {
        for (int attempt = 0; attempt < 3 && !process; ++attempt) {
            port = test::freePort();
            std::vector<std::string> argv = {KAMIRO_LISTD_PATH, "--listen", "127.0.0.1:" + std::to_string(port),
                                             "--db", dir.file("list.db")};
            argv.insert(argv.end(), extra.begin(), extra.end());
            auto p = std::make_unique<test::Process>(argv, log);
            for (int i = 0; i < 500 && p->wait(0ms) == -1; ++i) {
                if (test::canConnect(port)) {
                    process = std::move(p);
                    break;
                }
                std::this_thread::sleep_for(10ms);
            }
        }
        if (!process) throw std::runtime_error("kamiro-listd did not start:\n" + readFile(log));
    }
    std::string log;
    int port = 0;
    std::unique_ptr<test::Process> process;
};

int run(const std::vector<std::string>& args, const test::TempDir& dir, std::string& output) {
    std::vector<std::string> argv = {KAMIRO_LISTD_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    static int runs = 0;
    std::string file = dir.file("out-" + std::to_string(++runs));
    test::Process p(argv, file);
    int status = p.wait(10s);
    output = readFile(file);
    return status;
}

TEST(ProgramTest, HelpVersionAndBadOptions) {
    test::TempDir dir;
    std::string out;
    EXPECT_EQ(run({"--help"}, dir, out), 0);
    for (const char* option : {"--listen", "--db", "--redis", "--ttl", "--max-entries-per-address", "--rate",
                               "--burst", "--max-entries", "--max-request-line", "--max-header-bytes",
                               "--idle-timeout", "--trust-proxy"})
        EXPECT_NE(out.find(option), std::string::npos) << option;
    EXPECT_EQ(run({"--version"}, dir, out), 0);
    EXPECT_EQ(out.rfind("kamiro-listd ", 0), 0u);
    EXPECT_EQ(run({"--ttl", "soon", "--help"}, dir, out), 2);
    EXPECT_NE(out.find("--ttl"), std::string::npos);
    EXPECT_EQ(run({"--db", dir.file("no/such/dir/x.db"), "--listen", "127.0.0.1:0"}, dir, out), 1);
    EXPECT_EQ(run({"--redis", "redis://127.0.0.1:" + std::to_string(test::freePort())}, dir, out), 1);
}

TEST(ProgramTest, LogsEachRequestAndStopsCleanlyOnSigterm) {
    test::TempDir dir;
    {
        Program p(dir, {});
        EXPECT_TRUE(test::addAccepted(test::exchange(p.port, test::gameAdd("Survivor", true))));
        EXPECT_EQ(test::statusOf(test::exchange(p.port, "GET /nope HTTP/1.1\r\n\r\n")), 404);
        test::Connection open(p.port);  // an idle client must not hold up the stop
        p.process->signal(SIGTERM);
        EXPECT_EQ(p.process->wait(5s), 0);
        std::string log = readFile(p.log);
        const std::regex line(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z 127\.0\.0\.1 POST /add\.php 200 \d+\.\d{3}ms)");
        EXPECT_TRUE(std::regex_search(log, line)) << log;
        EXPECT_NE(log.find(" 127.0.0.1 GET /nope 404 "), std::string::npos) << log;
        EXPECT_NE(log.find("stopping on SIGTERM"), std::string::npos) << log;
    }
    // A restart serves the list it had.
    Program again(dir, {});
    auto seen = test::readAsGame(test::exchange(again.port, test::gameList()));
    EXPECT_EQ(seen.entries, (std::vector<test::GameEntry>{{"Survivor", true, "127.0.0.1"}}));
}

// Adds keep arriving while the service is killed; every add that was
// answered with 200 must be on the list after a restart.
class KillTest : public ::testing::TestWithParam<const char*> {};

TEST_P(KillTest, NoAcknowledgedEntryIsLost) {
    test::TempDir dir;
    const std::vector<std::string> options = {"--sync", GetParam(), "--rate", "0", "--max-entries-per-address",
                                              "100000", "--quiet"};
    std::vector<std::string> acknowledged;
    {
        Program p(dir, options);
        std::atomic<int> acks{0};
        std::atomic<bool> stop{false};
        std::vector<std::thread> clients;
        std::vector<std::vector<std::string>> mine(2);
        for (int t = 0; t < 2; ++t) {
            clients.emplace_back([&, t] {
                for (int i = 0; i < 2000 && !stop; ++i) {
                    std::string name = "game " + std::to_string(t) + "-" + std::to_string(i);
                    std::string reply;
                    try {
                        reply = test::exchange(p.port, test::gameAdd(name, i % 2 == 0));
                    } catch (const std::exception&) {
                        return;  // the service is gone
                    }
                    if (!test::addAccepted(reply)) return;
                    mine[static_cast<std::size_t>(t)].push_back(name);
                    ++acks;
                }
            });
        }
        for (int i = 0; i < 1000 && acks < 150; ++i) std::this_thread::sleep_for(10ms);
        p.process->signal(SIGKILL);
        EXPECT_EQ(p.process->wait(5s), 128 + SIGKILL);
        stop = true;
        for (auto& c : clients) c.join();
        for (auto& m : mine) acknowledged.insert(acknowledged.end(), m.begin(), m.end());
    }
    ASSERT_GE(acknowledged.size(), 100u);
    Program again(dir, options);
    auto seen = test::readAsGame(test::exchange(again.port, test::gameList()));
    std::set<std::string> listed;
    for (const auto& e : seen.entries) listed.insert(e.name);
    for (const std::string& name : acknowledged) EXPECT_TRUE(listed.count(name)) << name << " was lost";
}

INSTANTIATE_TEST_SUITE_P(Sync, KillTest, ::testing::Values("full", "normal"));

}  // namespace
}  // namespace listd
