#include "support.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <thread>

namespace listd::test {

namespace {

constexpr const char* kHost = "list.kamiro.example";

int connectTo(int port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("socket failed");
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    timeval tv{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    return fd;
}

void sendAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0) return;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

// Length of the first complete reply in `data`, or 0 when incomplete.
std::size_t replyLength(std::string_view data) {
    std::size_t end = data.find("\r\n\r\n");
    if (end == std::string_view::npos) return 0;
    std::string_view head = data.substr(0, end);
    std::size_t length = 0;
    std::size_t at = head.find("\r\nContent-Length: ");
    if (at != std::string_view::npos) length = std::strtoul(std::string(head.substr(at + 18, 12)).c_str(), nullptr, 10);
    if (head.substr(0, 5) != "HTTP/") return 0;
    // Replies to HEAD carry a length but no body; callers of HEAD read until close.
    std::size_t total = end + 4 + length;
    return data.size() >= total ? total : 0;
}

std::vector<std::string> linesOf(std::string_view text) {
    std::vector<std::string> lines;
    std::string line;
    for (char c : text) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else if (c != '\r') {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

long leadingInt(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    return std::strtol(std::string(text.substr(i)).c_str(), nullptr, 10);
}

}  // namespace

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "listd-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

Process::Process(const std::vector<std::string>& argv, const std::string& outputFile) {
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        int fd = ::open(outputFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (fd >= 0) {
            ::dup2(fd, 1);
            ::dup2(fd, 2);
        }
        ::execv(args[0], args.data());
        ::_exit(127);
    }
}

Process::~Process() {
    if (wait(std::chrono::milliseconds(0)) == -1) {
        signal(SIGKILL);
        wait(std::chrono::milliseconds(5000));
    }
}

void Process::signal(int sig) {
    if (pid_ > 0 && status_ == -1) ::kill(pid_, sig);
}

int Process::wait(std::chrono::milliseconds limit) {
    if (status_ != -1) return status_;
    auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        int status = 0;
        pid_t r = ::waitpid(pid_, &status, WNOHANG);
        if (r == pid_) {
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return status_;
        }
        if (r < 0 || std::chrono::steady_clock::now() >= deadline) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

int freePort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

bool canConnect(int port) {
    int fd = connectTo(port);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

RedisServer& RedisServer::shared() {
    static RedisServer server;
    return server;
}

RedisServer::RedisServer() {
    const char* binary = "/usr/bin/redis-server";
    if (::access(binary, X_OK) != 0) throw std::runtime_error("redis-server is not installed");
    // A port picked free can be taken before redis binds it: try again.
    for (int attempt = 0; attempt < 3 && !process_; ++attempt) {
        port_ = freePort();
        auto p = std::make_unique<Process>(
            std::vector<std::string>{binary, "--port", std::to_string(port_), "--bind", "127.0.0.1", "--save", "",
                                     "--appendonly", "no", "--dir", dir_.path(), "--daemonize", "no"},
            dir_.file("redis.log"));
        for (int i = 0; i < 500; ++i) {
            if (canConnect(port_)) {
                process_ = std::move(p);
                break;
            }
            if (p->wait(std::chrono::milliseconds(0)) != -1) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    if (!process_) throw std::runtime_error("redis-server did not start");
}

std::string uniquePrefix() {
    static std::atomic<int> counter{0};
    return "t" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ":";
}

std::string gameEscape(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '&' || c == '%' || c == '\'' || c == '"') continue;
        if (c == ' ')
            out += "%20";
        else
            out += c;
    }
    return out;
}

std::string gameAdd(std::string_view server, bool pass) {
    return "POST /add.php?server=" + gameEscape(server) + "&game=KAMIRO%20VESTA" + (pass ? "&pass=true" : "") +
           " HTTP/1.1\r\nHOST: " + kHost + "\r\n\r\n";
}

std::string gameRefresh(std::string_view server) {
    return "POST /refresh.php?server=" + gameEscape(server) + "&game=KAMIRO%20VESTA HTTP/1.1\r\nHOST: " + kHost +
           "\r\n\r\n";
}

std::string gameRemove(std::string_view server) {
    return "POST /remove.php?game=" + gameEscape("KAMIRO VESTA") + "&server=" + gameEscape(server) +
           " HTTP/1.1\r\nHOST: " + kHost + "\r\n\r\n";
}

std::string gameList() {
    return std::string("POST /list.php?out=plain&game=KAMIRO%20VESTA HTTP/1.1\r\nHOST: ") + kHost + "\r\n\r\n";
}

std::string exchange(int port, std::string_view bytes) {
    Connection c(port);
    c.send(bytes);
    return c.readReply();
}

Connection::Connection(int port) : fd_(connectTo(port)) {
    if (fd_ < 0) throw std::runtime_error("cannot connect to port " + std::to_string(port));
}

Connection::~Connection() {
    if (fd_ >= 0) ::close(fd_);
}

void Connection::send(std::string_view bytes) { sendAll(fd_, bytes); }

std::string Connection::readReply() {
    char buf[65536];
    for (;;) {
        if (std::size_t n = replyLength(buffered_); n > 0) {
            std::string reply = buffered_.substr(0, n);
            buffered_.erase(0, n);
            return reply;
        }
        ssize_t got = ::recv(fd_, buf, sizeof buf, 0);
        if (got <= 0) {
            std::string rest = std::move(buffered_);
            buffered_.clear();
            return rest;
        }
        buffered_.append(buf, static_cast<std::size_t>(got));
    }
}

std::string Connection::readAll() {
    char buf[65536];
    std::string out = std::move(buffered_);
    buffered_.clear();
    for (;;) {
        ssize_t got = ::recv(fd_, buf, sizeof buf, 0);
        if (got <= 0) return out;
        out.append(buf, static_cast<std::size_t>(got));
    }
}

bool Connection::closedByPeer(std::chrono::milliseconds limit) {
    pollfd p{fd_, POLLIN, 0};
    auto deadline = std::chrono::steady_clock::now() + limit;
    char buf[4096];
    while (std::chrono::steady_clock::now() < deadline) {
        if (::poll(&p, 1, 50) > 0) {
            ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
            if (n == 0) return true;
            if (n < 0) return errno == ECONNRESET;
            buffered_.append(buf, static_cast<std::size_t>(n));
        }
    }
    return false;
}

int statusOf(std::string_view reply) {
    if (reply.substr(0, 9) != "HTTP/1.1 ") return 0;
    return std::atoi(std::string(reply.substr(9, 3)).c_str());
}

std::string bodyOf(std::string_view reply) {
    std::size_t end = reply.find("\r\n\r\n");
    return end == std::string_view::npos ? std::string() : std::string(reply.substr(end + 4));
}

GameList readAsGame(std::string_view reply) {
    GameList out;
    for (const std::string& line : linesOf(reply)) {
        std::string_view l = line;
        if (l.starts_with("Content-Length:")) out.expectedLength = leadingInt(l.substr(15));
        if (l == "Content-Type: text/html") out.sawContentType = true;
        if (l.starts_with("Total de servidores:")) {
            out.count = static_cast<int>(leadingInt(l.substr(20)));
            out.entries.clear();
        }
        if (out.count > 0 && l.starts_with(">> ")) {
            std::string_view rest = l.substr(3);
            std::size_t a = rest.find(';');
            std::string_view name = rest.substr(0, a);
            rest = a == std::string_view::npos ? std::string_view() : rest.substr(a + 1);
            std::size_t b = rest.find(';');
            std::string_view flag = rest.substr(0, b);
            std::string_view address = b == std::string_view::npos ? std::string_view() : rest.substr(b + 1);
            if (static_cast<int>(out.entries.size()) < out.count)
                out.entries.push_back({std::string(name), flag == "true", std::string(address)});
        }
        if (l.find("</html>") != std::string_view::npos) break;
    }
    return out;
}

void PrintTo(const GameEntry& e, std::ostream* os) {
    *os << '"' << e.name << "\";" << (e.pass ? "true" : "false") << ";" << e.address;
}

bool addAccepted(std::string_view reply) {
    for (const std::string& line : linesOf(reply)) {
        if (line.empty()) break;
        std::string upper = line;
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (upper.find("200 OK") != std::string::npos) return true;
    }
    return false;
}

}  // namespace listd::test
