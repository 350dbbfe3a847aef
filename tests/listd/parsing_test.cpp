#include <gtest/gtest.h>

#include "listd/http.hpp"
#include "listd/options.hpp"
#include "listd/rate_limiter.hpp"
#include "listd/service.hpp"
#include "support.hpp"

namespace listd {
namespace {

TEST(ParseRequestTest, TakesTheGamesExactBytes) {
    std::string bytes = test::gameAdd("Jos\xe9's  & game", true);
    ASSERT_EQ(bytes,
              "POST /add.php?server=Jos\xe9s%20%20%20game&game=KAMIRO%20VESTA&pass=true HTTP/1.1\r\n"
              "HOST: list.kamiro.example\r\n\r\n");
    ParseResult r = parseRequest(bytes, {});
    ASSERT_EQ(r.status, ParseResult::Complete);
    EXPECT_EQ(r.consumed, bytes.size());
    EXPECT_EQ(r.request.method, "POST");
    EXPECT_EQ(r.request.path, "/add.php");
    EXPECT_TRUE(r.request.keepAlive);
    ASSERT_NE(r.request.param("server"), nullptr);
    EXPECT_EQ(*r.request.param("server"), "Jos\xe9s   game");
    EXPECT_EQ(*r.request.param("game"), "KAMIRO VESTA");
    EXPECT_EQ(*r.request.param("pass"), "true");
}

TEST(ParseRequestTest, WaitsForTheWholeHeadAndBody) {
    std::string bytes = test::gameList();
    for (std::size_t cut = 0; cut < bytes.size(); ++cut)
        EXPECT_EQ(parseRequest(std::string_view(bytes).substr(0, cut), {}).status, ParseResult::Incomplete) << cut;

    std::string post = "POST /list.php?game=G HTTP/1.1\r\nContent-Length: 5\r\n\r\nab";
    EXPECT_EQ(parseRequest(post, {}).status, ParseResult::Incomplete);
    post += "cdeGET / HTTP/1.1\r\n";
    ParseResult r = parseRequest(post, {});
    ASSERT_EQ(r.status, ParseResult::Complete);
    EXPECT_EQ(post.substr(r.consumed), "GET / HTTP/1.1\r\n") << "the body is skipped, the next request kept";
}

TEST(ParseRequestTest, HeadersAndVersions) {
    struct Case {
        const char* bytes;
        bool keepAlive;
        const char* forwardedFor;
    } const cases[] = {
        {"GET /health HTTP/1.1\n\n", true, ""},
        {"GET /health HTTP/1.0\r\n\r\n", false, ""},
        {"GET /health HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n", true, ""},
        {"GET /health HTTP/1.1\r\nconnection: upgrade, close\r\n\r\n", false, ""},
        {"\r\nGET /health HTTP/1.1\r\nX-Forwarded-For: 1.2.3.4\r\nx-forwarded-for: 5.6.7.8\r\n\r\n", true,
         "1.2.3.4,5.6.7.8"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        ParseResult r = parseRequest(c.bytes, {});
        ASSERT_EQ(r.status, ParseResult::Complete);
        EXPECT_EQ(r.request.keepAlive, c.keepAlive);
        EXPECT_EQ(r.request.forwardedFor, c.forwardedFor);
    }
}

TEST(ParseRequestTest, RejectsWhatItCannotServe) {
    HttpLimits limits;
    limits.maxRequestLine = 64;
    limits.maxHeaderBytes = 64;
    limits.maxBody = 8;
    const std::string longTarget = "GET /" + std::string(80, 'a') + " HTTP/1.1";
    const std::string longHeader = "GET / HTTP/1.1\r\nX: " + std::string(80, 'a');
    struct Case {
        std::string bytes;
        int status;
    } const cases[] = {
        {longTarget + "\r\n\r\n", 414},
        {longTarget.substr(0, 70), 414},  // before its end arrives
        {longHeader + "\r\n\r\n", 431},
        {longHeader, 431},
        {"POST /add.php HTTP/1.1\r\nContent-Length: 9\r\n\r\n", 413},
        {"POST /add.php HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", 501},
        {"GET / HTTP/2.0\r\n\r\n", 505},
        {"GET / FTP/1.0\r\n\r\n", 400},
        {"GET /a b HTTP/1.1\r\n\r\n", 400},
        {"GET  / HTTP/1.1\r\n\r\n", 400},
        {"GET\r\n\r\n", 400},
        {"GET add.php HTTP/1.1\r\n\r\n", 400},
        {"GET /list.php?game=%zz HTTP/1.1\r\n\r\n", 400},
        {"GET /list.php?game=%4 HTTP/1.1\r\n\r\n", 400},
        {std::string("GET /list.php?game=a\x01 HTTP/1.1\r\n\r\n"), 400},
        {"GET / HTTP/1.1\r\nno colon\r\n\r\n", 400},
        {"GET / HTTP/1.1\r\nHost : x\r\n\r\n", 400},
        {"GET / HTTP/1.1\r\nContent-Length: x\r\n\r\n", 400},
        {"GET / HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\nab", 400},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        ParseResult r = parseRequest(c.bytes, limits);
        ASSERT_EQ(r.status, ParseResult::Error);
        EXPECT_EQ(r.errorStatus, c.status);
    }
}

TEST(ParseRequestTest, PercentDecoding) {
    struct Case {
        const char* in;
        std::optional<std::string> out;
    } const cases[] = {
        {"a%20b", "a b"},        {"%41%62%e9", "Ab\xe9"}, {"a+b", "a+b"}, {"100%", std::nullopt},
        {"%2", std::nullopt},    {"%g0", std::nullopt},   {"", ""},       {"%00", std::string(1, '\0')},
    };
    for (const Case& c : cases) EXPECT_EQ(percentDecode(c.in), c.out) << c.in;
}

TEST(ParseRequestTest, FirstOfARepeatedParameterWins) {
    ParseResult r = parseRequest("GET /list.php?game=A&&game=B&flag HTTP/1.1\r\n\r\n", {});
    ASSERT_EQ(r.status, ParseResult::Complete);
    EXPECT_EQ(*r.request.param("game"), "A");
    ASSERT_NE(r.request.param("flag"), nullptr);
    EXPECT_EQ(*r.request.param("flag"), "");
}

TEST(ValidationTest, Names) {
    const std::string max(64, 'x');
    for (const std::string& ok : {std::string("KAMIRO VESTA"), max, std::string("Jos\xe9 \x80\x9f\xff"),
                                  std::string(">> a"), std::string("Game #1 & 100% 'fun'")})
        EXPECT_TRUE(validName(ok)) << ok;
    for (const std::string& bad :
         {std::string(), max + "x", std::string("a;b"), std::string("a</html>"), std::string("a\nb"),
          std::string("a\rb"), std::string("tab\t"), std::string("del\x7f"), std::string(1, '\0')})
        EXPECT_FALSE(validName(bad)) << bad;
}

TEST(ValidationTest, Addresses) {
    struct Case {
        const char* in;
        const char* out;
    } const cases[] = {
        {"1.2.3.4", "1.2.3.4"},           {" 10.0.0.1 ", "10.0.0.1"}, {"::ffff:192.0.2.1", "192.0.2.1"},
        {"2001:DB8:0::1", "2001:db8::1"}, {"localhost", ""},          {"1.2.3.4;5", ""},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(normalizeAddress(c.in), c.out) << c.in;
}

TEST(RateLimiterTest, BurstThenSteadyRatePerAddress) {
    RateLimiter limiter(10, 20);
    std::int64_t t = 1'000'000;
    for (int i = 0; i < 20; ++i) EXPECT_TRUE(limiter.allow("a", t)) << i;
    EXPECT_FALSE(limiter.allow("a", t));
    EXPECT_TRUE(limiter.allow("b", t)) << "addresses have their own buckets";
    t += 99;
    EXPECT_FALSE(limiter.allow("a", t));
    t += 1;
    EXPECT_TRUE(limiter.allow("a", t));
    EXPECT_FALSE(limiter.allow("a", t));
    t += 60'000;  // a long pause saves up no more than the burst
    for (int i = 0; i < 20; ++i) EXPECT_TRUE(limiter.allow("a", t)) << i;
    EXPECT_FALSE(limiter.allow("a", t));

    RateLimiter off(0, 1);
    for (int i = 0; i < 1000; ++i) ASSERT_TRUE(off.allow("a", t));
}

TEST(OptionsTest, DefaultsAndEveryOption) {
    const char* none[] = {"kamiro-listd"};
    Options d = parseOptions(1, none);
    EXPECT_EQ(d.server.host, "0.0.0.0");
    EXPECT_EQ(d.server.port, 80);
    EXPECT_EQ(d.service.limits.ttlMs, 300'000);
    EXPECT_EQ(d.service.limits.maxPerAddress, 8);
    EXPECT_EQ(d.service.limits.maxEntries, 10'000);
    EXPECT_EQ(d.service.rate, 10);
    EXPECT_EQ(d.service.burst, 20);
    EXPECT_FALSE(d.service.trustProxy);
    EXPECT_TRUE(d.redis.empty());

    const char* all[] = {"kamiro-listd", "--listen", "[::1]:8080", "--db=/tmp/x.db", "--sync", "normal",
                         "--redis", "redis://r:1", "--ttl", "2.5", "--max-entries-per-address", "3",
                         "--max-entries", "7", "--rate", "0", "--burst", "5", "--max-request-line", "100",
                         "--max-header-bytes", "200", "--max-connections", "9", "--idle-timeout", "0.25",
                         "--request-timeout", "4", "--threads", "3", "--trust-proxy", "--quiet"};
    Options o = parseOptions(static_cast<int>(std::size(all)), all);
    EXPECT_EQ(o.server.host, "::1");
    EXPECT_EQ(o.server.port, 8080);
    EXPECT_EQ(o.db, "/tmp/x.db");
    EXPECT_EQ(o.sync, SyncMode::Normal);
    EXPECT_EQ(o.redis, "redis://r:1");
    EXPECT_EQ(o.service.limits.ttlMs, 2500);
    EXPECT_EQ(o.service.limits.maxPerAddress, 3);
    EXPECT_EQ(o.service.limits.maxEntries, 7);
    EXPECT_EQ(o.service.rate, 0);
    EXPECT_EQ(o.service.burst, 5);
    EXPECT_EQ(o.server.http.maxRequestLine, 100u);
    EXPECT_EQ(o.server.http.maxHeaderBytes, 200u);
    EXPECT_EQ(o.server.maxConnections, 9);
    EXPECT_EQ(o.server.idleTimeoutMs, 250);
    EXPECT_EQ(o.server.requestTimeoutMs, 4000);
    EXPECT_EQ(o.server.threads, 3);
    EXPECT_TRUE(o.service.trustProxy);
    EXPECT_EQ(o.server.logFd, -1);
}

TEST(OptionsTest, RejectsBadValues) {
    const std::vector<std::vector<const char*>> cases = {
        {"--bogus"},           {"--ttl"},          {"--ttl", "0"},          {"--ttl", "x"},
        {"--listen", "80"},    {"--listen", ":x"}, {"--listen", "[::1]80"}, {"--max-entries", "-1"},
        {"--sync", "maybe"},   {"--quiet=yes"},    {"--rate", "-1"},        {"--listen", "h:70000"},
    };
    for (auto args : cases) {
        args.insert(args.begin(), "kamiro-listd");
        EXPECT_THROW(parseOptions(static_cast<int>(args.size()), args.data()), OptionError) << args[1];
    }
    std::string host;
    int port = -1;
    parseListen(":8080", host, port);
    EXPECT_EQ(host, "");
    EXPECT_EQ(port, 8080);
}

}  // namespace
}  // namespace listd
