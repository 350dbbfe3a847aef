#include "listd/http.hpp"

#include <charconv>

namespace listd {

namespace {

bool iequals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
        if (x != y) return false;
    }
    return true;
}

bool containsToken(std::string_view list, std::string_view token) {
    while (!list.empty()) {
        std::size_t comma = list.find(',');
        std::string_view item = list.substr(0, comma);
        while (!item.empty() && (item.front() == ' ' || item.front() == '\t')) item.remove_prefix(1);
        while (!item.empty() && (item.back() == ' ' || item.back() == '\t')) item.remove_suffix(1);
        if (iequals(item, token)) return true;
        if (comma == std::string_view::npos) break;
        list.remove_prefix(comma + 1);
    }
    return false;
}

bool isControl(unsigned char c) { return c < 0x20 || c == 0x7f; }

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

ParseResult error(int status) {
    ParseResult r;
    r.status = ParseResult::Error;
    r.errorStatus = status;
    return r;
}

// A line without its terminator; lines end in CR LF or a bare LF.
std::string_view trimLine(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

}  // namespace

const std::string* Request::param(std::string_view name) const {
    for (const auto& [key, value] : query)
        if (key == name) return &value;
    return nullptr;
}

std::optional<std::string> percentDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return std::nullopt;
        int hi = hexDigit(text[i + 1]), lo = hexDigit(text[i + 2]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return out;
}

ParseResult parseRequest(std::string_view data, const HttpLimits& limits) {
    // Blank lines ahead of a request are tolerated, as after a body-less
    // POST some clients send an extra CR LF.
    std::size_t start = 0;
    while (start < data.size() && (data[start] == '\r' || data[start] == '\n')) ++start;
    if (start == data.size()) {
        ParseResult r;
        r.consumed = start;
        return r;
    }
    std::size_t lineEnd = data.find('\n', start);
    if (lineEnd == std::string_view::npos) {
        if (data.size() - start > limits.maxRequestLine) return error(414);
        return {};
    }
    std::string_view line = trimLine(data.substr(start, lineEnd - start));
    if (line.size() > limits.maxRequestLine) return error(414);

    // The head ends at the first empty line.
    std::size_t headersStart = lineEnd + 1;
    std::size_t pos = headersStart;
    std::vector<std::string_view> headerLines;
    for (;;) {
        std::size_t nl = data.find('\n', pos);
        if (nl == std::string_view::npos) {
            if (data.size() - headersStart > limits.maxHeaderBytes) return error(431);
            return {};
        }
        if (nl + 1 - headersStart > limits.maxHeaderBytes) return error(431);
        std::string_view h = trimLine(data.substr(pos, nl - pos));
        pos = nl + 1;
        if (h.empty()) break;
        headerLines.push_back(h);
    }

    ParseResult r;
    Request& req = r.request;
    std::size_t sp1 = line.find(' ');
    std::size_t sp2 = sp1 == std::string_view::npos ? sp1 : line.find(' ', sp1 + 1);
    if (sp2 == std::string_view::npos || line.find(' ', sp2 + 1) != std::string_view::npos) return error(400);
    std::string_view method = line.substr(0, sp1);
    std::string_view target = line.substr(sp1 + 1, sp2 - sp1 - 1);
    std::string_view version = line.substr(sp2 + 1);
    if (method.empty() || target.empty() || target.front() != '/') return error(400);
    for (char c : line)
        if (isControl(static_cast<unsigned char>(c))) return error(400);
    if (version == "HTTP/1.1") {
        req.keepAlive = true;
    } else if (version == "HTTP/1.0") {
        req.keepAlive = false;
    } else if (version.substr(0, 5) == "HTTP/") {
        return error(505);
    } else {
        return error(400);
    }
    req.method = std::string(method);

    std::size_t question = target.find('?');
    req.path = std::string(target.substr(0, question));
    if (question != std::string_view::npos) {
        std::string_view query = target.substr(question + 1);
        // No fragment handling: the game keeps "#" in names and sends it raw.
        while (!query.empty()) {
            std::size_t amp = query.find('&');
            std::string_view pair = query.substr(0, amp);
            if (!pair.empty()) {
                std::size_t eq = pair.find('=');
                auto key = percentDecode(pair.substr(0, eq));
                auto value = percentDecode(eq == std::string_view::npos ? std::string_view() : pair.substr(eq + 1));
                if (!key || !value) return error(400);
                req.query.emplace_back(std::move(*key), std::move(*value));
            }
            if (amp == std::string_view::npos) break;
            query.remove_prefix(amp + 1);
        }
    }

    std::size_t contentLength = 0;
    bool haveLength = false;
    for (std::string_view h : headerLines) {
        std::size_t colon = h.find(':');
        if (colon == std::string_view::npos || colon == 0) return error(400);
        std::string_view name = h.substr(0, colon);
        std::string_view value = h.substr(colon + 1);
        while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
        while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
        if (name.back() == ' ' || name.back() == '\t' || name.front() == ' ' || name.front() == '\t')
            return error(400);
        if (iequals(name, "Connection")) {
            if (containsToken(value, "close")) req.keepAlive = false;
            if (containsToken(value, "keep-alive")) req.keepAlive = true;
        } else if (iequals(name, "Content-Length")) {
            std::size_t n = 0;
            auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
            if (ec != std::errc() || end != value.data() + value.size() || value.empty()) return error(400);
            if (haveLength && n != contentLength) return error(400);
            contentLength = n;
            haveLength = true;
        } else if (iequals(name, "Transfer-Encoding")) {
            // Nothing this service accepts has a body worth streaming.
            return error(501);
        } else if (iequals(name, "X-Forwarded-For")) {
            if (!req.forwardedFor.empty()) req.forwardedFor += ',';
            req.forwardedFor += value;
        }
    }
    if (contentLength > limits.maxBody) return error(413);
    if (data.size() - pos < contentLength) return {};
    r.status = ParseResult::Complete;
    r.consumed = pos + contentLength;
    return r;
}

const char* reasonPhrase(int status) {
    switch (status) {
        case 200: return "OK";
        case 400: return "Bad Request";
        case 403: return "Forbidden";
        case 404: return "Not Found";
        case 405: return "Method Not Allowed";
        case 408: return "Request Timeout";
        case 413: return "Content Too Large";
        case 414: return "URI Too Long";
        case 429: return "Too Many Requests";
        case 431: return "Request Header Fields Too Large";
        case 500: return "Internal Server Error";
        case 501: return "Not Implemented";
        case 503: return "Service Unavailable";
        case 505: return "HTTP Version Not Supported";
        default: return "Unknown";
    }
}

std::string responseHead(int status, std::string_view contentType, std::size_t contentLength, bool close,
                         std::string_view extraHeaders) {
    std::string head;
    head.reserve(128 + extraHeaders.size());
    head += "HTTP/1.1 ";
    head += std::to_string(status);
    head += ' ';
    head += reasonPhrase(status);
    head += "\r\nContent-Type: ";
    head += contentType;
    head += "\r\nContent-Length: ";
    head += std::to_string(contentLength);
    head += "\r\n";
    if (close) head += "Connection: close\r\n";
    head += extraHeaders;
    head += "\r\n";
    return head;
}

}  // namespace listd
