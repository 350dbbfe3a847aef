#pragma once

#include <stdexcept>
#include <string>

#include "listd/server.hpp"
#include "listd/service.hpp"
#include "listd/sqlite_store.hpp"

namespace listd {

inline constexpr const char* kVersion = "0.1.0";

struct Options {
    ServerConfig server;
    ServiceConfig service;
    std::string db = "kamiro-listd.db";
    SyncMode sync = SyncMode::Full;
    std::string redis;
    std::string redisPrefix = "kamiro-listd:";
    bool help = false;
    bool version = false;
};

class OptionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

Options parseOptions(int argc, const char* const* argv);
// Splits "HOST:PORT", "[V6]:PORT" or ":PORT"; an empty host means any.
void parseListen(const std::string& text, std::string& host, int& port);
std::string usage();

}  // namespace listd
