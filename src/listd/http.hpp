#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace listd {

struct HttpLimits {
    std::size_t maxRequestLine = 2048;
    std::size_t maxHeaderBytes = 8192;
    std::size_t maxBody = 1024;
};

struct Request {
    std::string method;
    std::string path;
    std::vector<std::pair<std::string, std::string>> query;  // percent-decoded
    bool keepAlive = true;
    std::string forwardedFor;

    // The first occurrence wins, as a repeated parameter is never sent by
    // the game and must not let a later copy override a validated one.
    const std::string* param(std::string_view name) const;
};

struct ParseResult {
    enum Status { Incomplete, Complete, Error } status = Incomplete;
    std::size_t consumed = 0;  // bytes of the head and body when Complete
    int errorStatus = 0;       // HTTP status to answer with when Error
    Request request;
};

// Parses one request at the front of `data`: the game's own requests (POST,
// parameters in the query, no body, no Content-Length, a "HOST: " header) as
// well as what curl sends. Bytes 128-255 pass through untouched.
ParseResult parseRequest(std::string_view data, const HttpLimits& limits);

// "%XX" for any XX; "+" is not a blank. Empty on a malformed escape.
std::optional<std::string> percentDecode(std::string_view text);

const char* reasonPhrase(int status);

// Status line and headers, ending with the empty line.
std::string responseHead(int status, std::string_view contentType, std::size_t contentLength, bool close,
                         std::string_view extraHeaders = {});

}  // namespace listd
