#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "listd/http.hpp"
#include "listd/service.hpp"

namespace listd {

struct ServerConfig {
    std::string host = "0.0.0.0";
    int port = 80;  // 0: any free port, see Server::port()
    int threads = 0;  // 0: one per processor
    int maxConnections = 1024;
    int idleTimeoutMs = 15'000;     // keep-alive connection with nothing to do
    int requestTimeoutMs = 10'000;  // from the first byte of a request to its end
    HttpLimits http;
    int logFd = 2;  // -1: no request log
};

// Worker threads, each with its own poll loop and its own listening socket
// on the same port (SO_REUSEPORT), so the kernel spreads connections and the
// threads share nothing on the hot path.
class Server {
public:
    Server(Service& service, ServerConfig config);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Binds and starts the workers; throws std::runtime_error on failure.
    void start();
    int port() const { return port_; }
    // Stops accepting, lets pending replies go out (briefly) and joins.
    void stop();

private:
    class Worker;
    Service& service_;
    ServerConfig config_;
    int port_ = 0;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    std::atomic<int> connections_{0};
    std::vector<std::unique_ptr<Worker>> workers_;
    std::vector<std::thread> threads_;
};

}  // namespace listd
