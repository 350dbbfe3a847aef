#include "listd/server.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <deque>
#include <stdexcept>

namespace listd {

namespace {

std::int64_t steadyMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::int64_t steadyUs() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

std::string peerName(const sockaddr_storage& addr) {
    char text[INET6_ADDRSTRLEN] = "-";
    if (addr.ss_family == AF_INET) {
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(addr).sin_addr, text, sizeof text);
    } else if (addr.ss_family == AF_INET6) {
        const in6_addr& a = reinterpret_cast<const sockaddr_in6&>(addr).sin6_addr;
        if (IN6_IS_ADDR_V4MAPPED(&a))
            inet_ntop(AF_INET, &a.s6_addr[12], text, sizeof text);
        else
            inet_ntop(AF_INET6, &a, text, sizeof text);
    }
    return text;
}

// Log fields must stay one token each whatever a client sent.
void appendSanitized(std::string& out, std::string_view text, std::size_t max) {
    if (text.empty()) {
        out += '-';
        return;
    }
    if (text.size() > max) text = text.substr(0, max);
    for (char ch : text) {
        auto c = static_cast<unsigned char>(ch);
        out += (c <= 0x20 || c >= 0x7f) ? '?' : ch;
    }
}

Response errorReply(int status) {
    Response r;
    r.status = status;
    auto body = std::make_shared<std::string>(reasonPhrase(status));
    *body += '\n';
    r.head = responseHead(status, "text/plain", body->size(), true);
    r.body = std::move(body);
    r.close = true;
    return r;
}

constexpr std::size_t kReadChunk = 16 * 1024;
// Pipelined requests are parsed only while this little is queued for output.
constexpr std::size_t kMaxQueuedOutput = 64 * 1024;
constexpr std::int64_t kLingerMs = 1000;

}  // namespace

class Server::Worker {
public:
    Worker(Server& owner, int listenFd) : owner_(owner), listenFd_(listenFd) {}
    ~Worker() {
        for (Conn& c : conns_) closeConn(c);
        if (listenFd_ >= 0) ::close(listenFd_);
    }
    void run();

private:
    struct Chunk {
        std::shared_ptr<const std::string> shared;
        std::string own;
        std::size_t offset = 0;
        std::string_view bytes() const {
            std::string_view all = shared ? std::string_view(*shared) : std::string_view(own);
            return all.substr(offset);
        }
    };
    struct Conn {
        int fd = -1;
        std::string peer;
        std::string in;
        std::deque<Chunk> out;
        std::size_t outBytes = 0;
        std::int64_t lastActivityMs = 0;
        std::int64_t requestStartMs = -1;
        bool closing = false;   // close once the output is gone
        bool draining = false;  // output shut; reading and dropping until the peer closes
        bool peerClosed = false;
        bool dead = false;
    };

    void acceptAll(std::int64_t now);
    void onReadable(Conn& c, std::int64_t now);
    void process(Conn& c, std::int64_t now);
    void enqueue(Conn& c, Response&& r);
    void flush(Conn& c, std::int64_t now);
    void checkTimeouts(Conn& c, std::int64_t now);
    void closeConn(Conn& c);
    void logRequest(std::string_view address, std::string_view method, std::string_view path, int status,
                    std::int64_t micros);
    void flushLog();

    Server& owner_;
    int listenFd_;
    std::deque<Conn> conns_;
    ListCache cache_;
    std::string log_;
    std::time_t logSecond_ = 0;
    char logStamp_[32] = {};
};

void Server::Worker::closeConn(Conn& c) {
    if (c.fd >= 0) {
        ::close(c.fd);
        c.fd = -1;
        owner_.connections_.fetch_sub(1);
    }
}

void Server::Worker::acceptAll(std::int64_t now) {
    // A few at a time so that one busy burst cannot starve the others.
    for (int i = 0; i < 32; ++i) {
        if (owner_.connections_.load() >= owner_.config_.maxConnections) return;
        sockaddr_storage addr{};
        socklen_t len = sizeof addr;
        int fd = ::accept4(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) return;
        int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        owner_.connections_.fetch_add(1);
        Conn& c = conns_.emplace_back();
        c.fd = fd;
        c.peer = peerName(addr);
        c.lastActivityMs = now;
    }
}

void Server::Worker::onReadable(Conn& c, std::int64_t now) {
    char buf[kReadChunk];
    for (int round = 0; round < 4; ++round) {
        ssize_t n = ::recv(c.fd, buf, sizeof buf, 0);
        if (n > 0) {
            c.lastActivityMs = now;
            if (c.draining) continue;
            if (c.requestStartMs < 0) c.requestStartMs = now;
            c.in.append(buf, static_cast<std::size_t>(n));
            if (static_cast<std::size_t>(n) < sizeof buf) break;
            continue;
        }
        if (n == 0) {
            c.peerClosed = true;
            if (c.draining) c.dead = true;
            break;
        }
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) c.dead = true;
        break;
    }
    if (c.dead || c.draining) return;
    process(c, now);
    if (c.peerClosed) {
        // Whatever the peer sent before closing has been answered; an
        // unfinished request never will be.
        c.closing = true;
        c.in.clear();
    }
}

void Server::Worker::process(Conn& c, std::int64_t now) {
    std::size_t offset = 0;
    while (!c.closing && c.outBytes < kMaxQueuedOutput) {
        ParseResult parsed = parseRequest(std::string_view(c.in).substr(offset), owner_.config_.http);
        if (parsed.status == ParseResult::Incomplete) {
            offset += parsed.consumed;
            break;
        }
        if (parsed.status == ParseResult::Error) {
            logRequest(c.peer, "-", "-", parsed.errorStatus, 0);
            enqueue(c, errorReply(parsed.errorStatus));
            c.in.clear();
            offset = 0;
            break;
        }
        offset += parsed.consumed;
        std::int64_t t0 = steadyUs();
        Response r = owner_.service_.handle(parsed.request, c.peer, cache_);
        logRequest(r.address, parsed.request.method, parsed.request.path, r.status, steadyUs() - t0);
        enqueue(c, std::move(r));
        c.requestStartMs = now;
    }
    if (offset > 0) c.in.erase(0, offset);
    if (c.in.empty()) c.requestStartMs = -1;
}

void Server::Worker::enqueue(Conn& c, Response&& r) {
    auto push = [&](Chunk chunk) {
        std::size_t size = chunk.bytes().size();
        if (size == 0) return;
        c.outBytes += size;
        c.out.push_back(std::move(chunk));
    };
    if (r.whole) {
        push(Chunk{std::move(r.whole), {}, 0});
    } else {
        push(Chunk{nullptr, std::move(r.head), 0});
        if (r.body) push(Chunk{std::move(r.body), {}, 0});
    }
    if (r.close) c.closing = true;
}

void Server::Worker::flush(Conn& c, std::int64_t now) {
    while (!c.out.empty()) {
        iovec iov[16];
        int count = 0;
        for (auto it = c.out.begin(); it != c.out.end() && count < 16; ++it, ++count) {
            std::string_view b = it->bytes();
            iov[count].iov_base = const_cast<char*>(b.data());
            iov[count].iov_len = b.size();
        }
        msghdr msg{};
        msg.msg_iov = iov;
        msg.msg_iovlen = static_cast<std::size_t>(count);
        ssize_t n = ::sendmsg(c.fd, &msg, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) c.dead = true;
            return;
        }
        c.lastActivityMs = now;
        auto left = static_cast<std::size_t>(n);
        c.outBytes -= left;
        while (left > 0) {
            Chunk& front = c.out.front();
            std::size_t size = front.bytes().size();
            if (left < size) {
                front.offset += left;
                break;
            }
            left -= size;
            c.out.pop_front();
        }
    }
    if (c.closing && !c.draining) {
        if (c.peerClosed) {
            c.dead = true;
            return;
        }
        // Shut our side and read until the peer closes, so that data it sent
        // after the last request cannot turn into a reset that destroys the
        // reply before it was read.
        ::shutdown(c.fd, SHUT_WR);
        c.draining = true;
        c.lastActivityMs = now;
        c.in.clear();
    }
}

void Server::Worker::checkTimeouts(Conn& c, std::int64_t now) {
    const ServerConfig& cfg = owner_.config_;
    if (c.draining) {
        if (now - c.lastActivityMs > kLingerMs) c.dead = true;
    } else if (!c.out.empty()) {
        if (now - c.lastActivityMs > cfg.idleTimeoutMs) c.dead = true;
    } else if (c.requestStartMs >= 0) {
        if (now - c.requestStartMs > cfg.requestTimeoutMs) {
            logRequest(c.peer, "-", "-", 408, 0);
            enqueue(c, errorReply(408));
            c.in.clear();
            c.requestStartMs = -1;
            flush(c, now);
        }
    } else if (now - c.lastActivityMs > cfg.idleTimeoutMs) {
        c.dead = true;
    }
}

void Server::Worker::logRequest(std::string_view address, std::string_view method, std::string_view path,
                                int status, std::int64_t micros) {
    if (owner_.config_.logFd < 0) return;
    using namespace std::chrono;
    auto now = system_clock::now();
    std::time_t second = system_clock::to_time_t(now);
    if (second != logSecond_) {
        logSecond_ = second;
        std::tm tm{};
        gmtime_r(&second, &tm);
        std::strftime(logStamp_, sizeof logStamp_, "%Y-%m-%dT%H:%M:%S", &tm);
    }
    auto millis = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    char tail[64];
    std::snprintf(tail, sizeof tail, ".%03dZ ", static_cast<int>(millis));
    log_ += logStamp_;
    log_ += tail;
    appendSanitized(log_, address, 64);
    log_ += ' ';
    appendSanitized(log_, method, 16);
    log_ += ' ';
    appendSanitized(log_, path, 80);
    std::snprintf(tail, sizeof tail, " %d %lld.%03lldms\n", status, static_cast<long long>(micros / 1000),
                  static_cast<long long>(micros % 1000));
    log_ += tail;
    if (log_.size() > 32 * 1024) flushLog();
}

void Server::Worker::flushLog() {
    std::size_t done = 0;
    while (done < log_.size()) {
        ssize_t n = ::write(owner_.config_.logFd, log_.data() + done, log_.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;  // a log that cannot be written must not stop the service
        done += static_cast<std::size_t>(n);
    }
    log_.clear();
}

void Server::Worker::run() {
    std::vector<pollfd> fds;
    std::vector<Conn*> polled;
    bool stopping = false;
    std::int64_t stopDeadline = 0;
    for (;;) {
        std::int64_t now = steadyMs();
        fds.clear();
        polled.clear();
        if (!stopping) fds.push_back({owner_.wakeRead_, POLLIN, 0});
        bool listening = !stopping && owner_.connections_.load() < owner_.config_.maxConnections;
        std::size_t firstConn = fds.size() + (listening ? 1 : 0);
        if (listening) fds.push_back({listenFd_, POLLIN, 0});
        for (Conn& c : conns_) {
            short events = 0;
            if (c.draining || (!c.closing && c.outBytes < kMaxQueuedOutput)) events |= POLLIN;
            if (!c.out.empty()) events |= POLLOUT;
            fds.push_back({c.fd, events, 0});
            polled.push_back(&c);
        }
        // Time-outs are checked at least once a second, which is as precise
        // as they need to be; more often while the connection table is full.
        int timeout = std::min({1000, owner_.config_.idleTimeoutMs, owner_.config_.requestTimeoutMs});
        if (stopping) timeout = 50;
        if (!listening && !stopping) timeout = std::min(timeout, 100);
        int ready = ::poll(fds.data(), fds.size(), timeout);
        if (ready < 0 && errno != EINTR) break;
        now = steadyMs();
        if (ready > 0) {
            if (!stopping && (fds[0].revents & POLLIN)) {
                stopping = true;
                stopDeadline = now + kLingerMs;
                for (Conn& c : conns_)
                    if (c.out.empty()) c.dead = true;
            }
            if (listening && (fds[firstConn - 1].revents & POLLIN)) acceptAll(now);
            for (std::size_t i = 0; i < polled.size(); ++i) {
                Conn& c = *polled[i];
                short re = fds[firstConn + i].revents;
                if (c.dead || !re) continue;
                if (re & (POLLIN | POLLHUP | POLLERR)) onReadable(c, now);
                if (!c.dead) flush(c, now);
            }
        }
        for (Conn& c : conns_)
            if (!c.dead) checkTimeouts(c, now);
        if (stopping)
            for (Conn& c : conns_)
                if (c.out.empty() || now > stopDeadline) c.dead = true;
        for (Conn& c : conns_)
            if (c.dead) closeConn(c);
        std::erase_if(conns_, [](const Conn& c) { return c.fd < 0; });
        flushLog();
        if (stopping && conns_.empty()) break;
    }
    flushLog();
}

Server::Server(Service& service, ServerConfig config) : service_(service), config_(std::move(config)) {}

Server::~Server() {
    stop();
    if (wakeRead_ >= 0) ::close(wakeRead_);
    if (wakeWrite_ >= 0) ::close(wakeWrite_);
}

void Server::start() {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    std::string service = std::to_string(config_.port);
    const char* host = config_.host.empty() ? nullptr : config_.host.c_str();
    if (int rc = getaddrinfo(host, service.c_str(), &hints, &found); rc != 0)
        throw std::runtime_error("cannot resolve " + config_.host + ": " + gai_strerror(rc));
    sockaddr_storage addr{};
    socklen_t addrLen = static_cast<socklen_t>(found->ai_addrlen);
    std::memcpy(&addr, found->ai_addr, found->ai_addrlen);
    freeaddrinfo(found);

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("pipe failed");
    wakeRead_ = pipeFds[0];
    wakeWrite_ = pipeFds[1];

    int threads = config_.threads > 0 ? config_.threads : static_cast<int>(std::thread::hardware_concurrency());
    if (threads < 1) threads = 1;
    for (int i = 0; i < threads; ++i) {
        int fd = ::socket(addr.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
        auto worker = std::make_unique<Worker>(*this, fd);
        int one = 1, zero = 0;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &one, sizeof one);
        if (addr.ss_family == AF_INET6) setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &zero, sizeof zero);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), addrLen) != 0 || ::listen(fd, 1024) != 0) {
            throw std::runtime_error("cannot listen on " + config_.host + ":" + std::to_string(config_.port) +
                                     ": " + std::strerror(errno));
        }
        if (i == 0) {
            // Port 0 picks a free port; the other sockets join that one.
            sockaddr_storage bound{};
            socklen_t len = sizeof bound;
            getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &len);
            port_ = ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6&>(bound).sin6_port
                                                      : reinterpret_cast<sockaddr_in&>(bound).sin_port);
            if (addr.ss_family == AF_INET6)
                reinterpret_cast<sockaddr_in6&>(addr).sin6_port = htons(static_cast<std::uint16_t>(port_));
            else
                reinterpret_cast<sockaddr_in&>(addr).sin_port = htons(static_cast<std::uint16_t>(port_));
        }
        workers_.push_back(std::move(worker));
    }
    for (auto& w : workers_) threads_.emplace_back([worker = w.get()] { worker->run(); });
}

void Server::stop() {
    if (threads_.empty()) return;
    char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(wakeWrite_, &byte, 1);
    for (std::thread& t : threads_) t.join();
    threads_.clear();
    workers_.clear();
}

}  // namespace listd
