#pragma once

#include <sys/types.h>

#include <chrono>
#include <ostream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "listd/store.hpp"

namespace listd::test {

// A fresh directory, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& path() const { return path_; }
    std::string file(std::string_view name) const { return path_ + "/" + std::string(name); }

private:
    std::string path_;
};

// A child process with its output in a file.
class Process {
public:
    Process(const std::vector<std::string>& argv, const std::string& outputFile);
    ~Process();
    pid_t pid() const { return pid_; }
    void signal(int sig);
    // Exit status, or -1 when it has not ended within the time.
    int wait(std::chrono::milliseconds limit);

private:
    pid_t pid_ = -1;
    int status_ = -1;
};

// A redis-server of this test process alone, on a free loopback port.
class RedisServer {
public:
    static RedisServer& shared();
    int port() const { return port_; }
    std::string url() const { return "redis://127.0.0.1:" + std::to_string(port_); }

private:
    RedisServer();
    TempDir dir_;
    std::unique_ptr<Process> process_;
    int port_ = 0;
};

// A key prefix no other test uses, so tests can share one Redis.
std::string uniquePrefix();

int freePort();
bool canConnect(int port);

// The blank-escaping of the game's client: drops & % ' and double quotes,
// turns blanks into %20.
std::string gameEscape(std::string_view text);

// The exact bytes the game writes for each operation.
std::string gameAdd(std::string_view server, bool pass);
std::string gameRefresh(std::string_view server);
std::string gameRemove(std::string_view server);
std::string gameList();

// Sends `bytes` on a new connection and reads one whole reply (Content-Length
// framed) or until the service closes; bounded by a five-second time-out.
std::string exchange(int port, std::string_view bytes);

// A kept-open connection for keep-alive and pipelining tests.
class Connection {
public:
    explicit Connection(int port);
    ~Connection();
    void send(std::string_view bytes);
    std::string readReply();  // one reply; empty when the peer closed
    std::string readAll();    // everything until the peer closes
    bool closedByPeer(std::chrono::milliseconds limit);  // true on EOF within the time

private:
    int fd_ = -1;
    std::string buffered_;
};

int statusOf(std::string_view reply);
std::string bodyOf(std::string_view reply);

// What the game's list reader makes of a reply.
struct GameEntry {
    std::string name;
    bool pass;
    std::string address;
    bool operator==(const GameEntry&) const = default;
};
void PrintTo(const GameEntry& e, std::ostream* os);
struct GameList {
    int count = 0;
    std::vector<GameEntry> entries;
    bool sawContentType = false;
    long expectedLength = -1;
};
GameList readAsGame(std::string_view reply);

// What the game's addgame makes of a reply: a "200 OK" in a header line.
bool addAccepted(std::string_view reply);

}  // namespace listd::test
