#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "language/runtime_string.hpp"
#include "language/string_routines.hpp"
#include "startup/symbol_registry.hpp"

using namespace std::string_literals;
using namespace trelm;

namespace {

RuntimeString* make(std::string_view bytes) {
    return newString(bytes);
}

// ---------------------------------------------------------------------------
// Number texts

TEST(FloatText, FollowsTheSixDigitRule) {
    const float inf = std::numeric_limits<float>::infinity();
    const struct {
        float value;
        const char* text;
    } cases[] = {
        {1.0f, "1.0"},
        {0.5f, "0.5"},
        {0.001f, "0.001"},
        {-0.001f, "-0.001"},
        {0.01f, "0.01"},
        {0.1f, "0.1"},
        {3.14159274f, "3.14159"},
        {123.456f, "123.456"},
        {12345.6f, "12345.6"},
        {100000.0f, "100000.0"},
        {123456.7f, "123457.0"},
        {12345678.0f, "12345700.0"},
        {10000000.0f, "10000000.0"},
        {0.0f, "0.0"},
        {-0.0f, "0.0"},  // zero is not negative
        {-1.5f, "-1.5"},
        // exponent form, e < -2 or e > 8
        {0.000123f, "1.23e-004"},
        {0.0001f, "1.e-004"},
        {0.00099999f, "9.9999e-004"},
        {123456789.0f, "1.23457e+008"},
        {100000000.0f, "1.e+008"},
        {1e9f, "1.e+009"},
        {-2.5e10f, "-2.5e+010"},
        {std::numeric_limits<float>::max(), "3.40282e+038"},
        {std::numeric_limits<float>::denorm_min(), "1.4013e-045"},
        // rounding that carries into one more digit moves the case
        {999999.5f, "1000000.0"},
        {99999.95f, "100000.0"},
        {0.0009999999f, "0.001"},
        {99999992.0f, "1.e+008"},
        {std::nanf(""), "NaN"},
        {-std::nanf(""), "NaN"},
        {inf, "Infinity"},
        {-inf, "-Infinity"},
    };
    for (const auto& c : cases) EXPECT_EQ(floatToText(c.value), c.text) << "for " << c.value;
}

TEST(IntText, IsPlainDecimal) {
    const std::map<std::int32_t, std::string> cases = {
        {0, "0"},
        {7, "7"},
        {-5, "-5"},
        {1000, "1000"},
        {2147483647, "2147483647"},
        {-2147483647 - 1, "-2147483648"},
    };
    for (const auto& [value, text] : cases) {
        EXPECT_EQ(intToText(value), text);
        EXPECT_EQ(takeString(kxStrFromInt(value)), text);
    }
}

TEST(TextToInt, TakesTheLeadingNumberAndWraps) {
    const std::int32_t min = std::numeric_limits<std::int32_t>::min();
    const struct {
        std::string text;
        std::int32_t value;
    } cases[] = {
        {"12abc", 12},
        {"abc", 0},
        {"", 0},
        {" -7", -7},
        {"+5", 5},
        {" \t\n\v\f\r42", 42},
        {"2147483647", 2147483647},
        {"2147483648", min},
        {"-2147483648", min},
        {"4294967297", 1},
        {"99999999999", 1215752191},
        {"-", 0},
        {"--1", 0},
        {"- 1", 0},
        {"1 2", 1},
        {"007", 7},
        {"3.9", 3},
        {"\0"s "5", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(textToInt(c.text), c.value) << "for \"" << c.text << '"';
        EXPECT_EQ(kxStrToInt(make(c.text)), c.value) << "for \"" << c.text << '"';
    }
}

TEST(TextToFloat, TakesTheLeadingDecimalNumber) {
    const float inf = std::numeric_limits<float>::infinity();
    const struct {
        const char* text;
        float value;
    } cases[] = {
        {"1.5", 1.5f},
        {" -2.5e3x", -2500.0f},
        {"\t+3", 3.0f},
        {".5", 0.5f},
        {"5.", 5.0f},
        {"0.1", 0.1f},
        {"1E2", 100.0f},
        {"1e", 1.0f},
        {"1e+", 1.0f},
        {"2e-1", 0.2f},
        {"1,5", 1.0f},
        {"abc", 0.0f},
        {"", 0.0f},
        {".", 0.0f},
        {"-", 0.0f},
        {"+-1", 0.0f},
        {"e5", 0.0f},
        // decimal only: no hexadecimal or named values
        {"0x10", 0.0f},
        {"inf", 0.0f},
        {"nan", 0.0f},
        {"3.4028235e38", std::numeric_limits<float>::max()},
        {"1e40", inf},
        {"-1e40", -inf},
        {"1e-50", 0.0f},
        {"1e99999", inf},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(textToFloat(c.text), c.value) << "for \"" << c.text << '"';
        EXPECT_EQ(kxStrToFloat(kxStrConst(c.text)), c.value) << "for \"" << c.text << '"';
    }
    // Rounded to double first, then to float: the double is the exact tie
    // 2^24 + 1, which goes to the even neighbour below.
    EXPECT_EQ(textToFloat("16777217.000000001"), 16777216.0f);
}

TEST(TextToFloat, RoundTripsItsOwnTexts) {
    for (float v : {1.0f, -1.5f, 0.000123f, 123456789.0f, 12345.6f})
        EXPECT_EQ(floatToText(textToFloat(floatToText(v))), floatToText(v));
    EXPECT_EQ(takeString(kxStrFromFloat(0.5f)), "0.5");
}

// ---------------------------------------------------------------------------
// Comparison

TEST(StrCompare, OrdersByUnsignedBytesThenLength) {
    const struct {
        std::string a, b;
        std::int32_t result;
    } cases[] = {
        {"abc", "abd", -1},
        {"abd", "abc", 1},
        {"abc", "ab", 1},
        {"ab", "abc", -1},
        {"", "", 0},
        {"abc", "abc", 0},
        {"a", "\xC8", -1},
        {"\xC8", "a", 1},
        {"B", "a", -1},  // no case folding
        {"a\0b"s, "a\0c"s, -1},
        {"a"s, "a\0"s, -1},
        {"", "\0"s, -1},
    };
    const std::int32_t live = liveStringCount();
    for (const auto& c : cases) {
        EXPECT_EQ(kxStrCompare(make(c.a), make(c.b)), c.result) << '"' << c.a << "\" vs \"" << c.b << '"';
        EXPECT_EQ(liveStringCount(), live) << "both operands are consumed";
    }
}

TEST(StrCompare, NullIsTheEmptyString) {
    EXPECT_EQ(kxStrCompare(nullptr, nullptr), 0);
    EXPECT_EQ(kxStrCompare(nullptr, make("")), 0);
    EXPECT_EQ(kxStrCompare(nullptr, make("a")), -1);
    EXPECT_EQ(kxStrCompare(make("a"), nullptr), 1);
}

// ---------------------------------------------------------------------------
// Ownership and the live count

TEST(StrOwnership, LoadCopiesAndNullLoadsEmpty) {
    const std::int32_t live = liveStringCount();
    RuntimeString* variable = nullptr;
    RuntimeString* empty = kxStrLoad(&variable);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(stringView(empty), "");
    EXPECT_STREQ(stringText(empty), "");
    EXPECT_EQ(liveStringCount(), live + 1);
    kxStrRelease(empty);

    variable = kxStrConst("held");
    RuntimeString* copy = kxStrLoad(&variable);
    EXPECT_NE(copy, variable);
    EXPECT_EQ(stringView(copy), "held");
    EXPECT_EQ(liveStringCount(), live + 2);
    kxStrRelease(copy);
    EXPECT_EQ(stringView(variable), "held");
    kxStrRelease(variable);
    kxStrRelease(nullptr);
    EXPECT_EQ(liveStringCount(), live);
}

TEST(StrOwnership, StoreReleasesTheOldValue) {
    const std::int32_t live = liveStringCount();
    RuntimeString* variable = nullptr;
    kxStrStore(&variable, kxStrConst("one"));
    kxStrStore(&variable, kxStrConst("two"));
    EXPECT_EQ(liveStringCount(), live + 1);
    EXPECT_EQ(stringView(variable), "two");

    kxStrStore(&variable, kxStrLoad(&variable));  // v = v
    EXPECT_EQ(liveStringCount(), live + 1);
    EXPECT_EQ(stringView(variable), "two");

    kxStrStore(&variable, variable);  // the very same object stays alive
    EXPECT_EQ(liveStringCount(), live + 1);
    EXPECT_EQ(stringView(variable), "two");

    kxStrStore(&variable, nullptr);
    EXPECT_EQ(variable, nullptr);
    EXPECT_EQ(liveStringCount(), live);
}

TEST(StrOwnership, ConcatAppendsAndConsumesTheRight) {
    const std::int32_t live = liveStringCount();
    const struct {
        const char* a;  // null stands for a null operand
        const char* b;
        std::string result;
    } cases[] = {
        {"ab", "cd", "abcd"},
        {nullptr, "cd", "cd"},
        {"ab", nullptr, "ab"},
        {nullptr, nullptr, ""},
        {"", "", ""},
        {"12345678901234567890", "abcd", "12345678901234567890abcd"},  // leaves the inline text
    };
    for (const auto& c : cases) {
        RuntimeString* r = kxStrConcat(c.a ? kxStrConst(c.a) : nullptr, c.b ? kxStrConst(c.b) : nullptr);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(stringView(r), c.result);
        EXPECT_EQ(liveStringCount(), live + 1);
        kxStrRelease(r);
    }
    RuntimeString* a = make("abc");
    EXPECT_EQ(kxStrConcat(a, make("d")), a) << "the result is the left operand";
    kxStrRelease(a);
    EXPECT_EQ(liveStringCount(), live);
}

TEST(StrOwnership, TakeStringCopiesAndReleases) {
    const std::int32_t live = liveStringCount();
    EXPECT_EQ(takeString(make("a\0b"s)), "a\0b"s);
    EXPECT_EQ(takeString(nullptr), "");
    EXPECT_EQ(liveStringCount(), live);
}

// ---------------------------------------------------------------------------
// Text storage

TEST(StrText, KeepsBytesAndATrailingNulAcrossGrowth) {
    RuntimeString* s = kxStrConst("");
    std::string expected;
    for (int i = 0; i < 2000; ++i) {
        const std::string piece = std::string(static_cast<std::size_t>(i % 37), static_cast<char>('a' + i % 26)) + '\0';
        s = kxStrConcat(s, make(piece));
        expected += piece;
        ASSERT_EQ(stringView(s), expected) << "after " << i << " appends";
        ASSERT_EQ(stringText(s)[expected.size()], '\0');
    }
    kxStrRelease(s);
}

TEST(StrText, GrowsGeometrically) {
    RuntimeString* s = make("");
    int moves = 0;
    for (int i = 0; i < 100000; ++i) {
        const char* before = stringText(s);
        appendToString(s, "x");
        moves += stringText(s) != before;
    }
    EXPECT_EQ(stringView(s), std::string(100000, 'x'));
    EXPECT_LE(moves, 20) << "appends must not copy the text each time";
    releaseString(s);
}

TEST(StrText, AppendMayReadFromItself) {
    for (std::string start : {"ab"s, std::string(20, 'x'), std::string(40, 'y')}) {
        RuntimeString* s = make(start);
        appendToString(s, stringView(s));
        EXPECT_EQ(stringView(s), start + start);
        releaseString(s);
    }
}

TEST(StrText, EveryLengthAroundTheInlineLimitRoundTrips) {
    for (std::size_t n = 0; n < 3 * RuntimeString::kInlineCapacity; ++n) {
        std::string bytes(n, '\xFF');
        for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<char>(i * 7);
        RuntimeString* s = make(bytes);
        EXPECT_EQ(stringView(s), bytes);
        EXPECT_EQ(stringText(s)[n], '\0');
        RuntimeString* variable = s;
        EXPECT_EQ(takeString(kxStrLoad(&variable)), bytes);
        releaseString(s);
    }
}

// ---------------------------------------------------------------------------
// The pool

TEST(StrPool, ReusesReleasedObjectsFirstInFirstOut) {
    const std::int32_t live = liveStringCount();
    RuntimeString* first = make("1");
    RuntimeString* second = make("2");
    RuntimeString* third = make("3");
    releaseString(first);
    releaseString(second);
    releaseString(third);

    // Drain the free list until the first released object comes back; the
    // other two must follow it directly, in release order.
    std::vector<RuntimeString*> drained;
    RuntimeString* s = nullptr;
    for (int i = 0; i < 1 << 20 && s != first; ++i) drained.push_back(s = make("x"));
    ASSERT_EQ(s, first);
    EXPECT_EQ(make("y"), second);
    EXPECT_EQ(make("z"), third);
    EXPECT_EQ(liveStringCount(), live + static_cast<std::int32_t>(drained.size()) + 2);
    for (RuntimeString* d : drained) releaseString(d);
    releaseString(second);
    releaseString(third);
    EXPECT_EQ(liveStringCount(), live);
}

TEST(StrPool, ObjectsOfManyBlocksStayDistinct) {
    const std::int32_t live = liveStringCount();
    std::vector<RuntimeString*> strings;
    for (int i = 0; i < 1500; ++i) strings.push_back(kxStrFromInt(i));
    EXPECT_EQ(liveStringCount(), live + 1500);
    for (int i = 0; i < 1500; ++i) ASSERT_EQ(stringView(strings[static_cast<std::size_t>(i)]), intToText(i));
    // Release from the middle outwards so the live list is unlinked at every position.
    for (std::size_t i = 0; i < strings.size(); i += 2) releaseString(strings[i]);
    for (std::size_t i = 1; i < strings.size(); i += 2) releaseString(strings[i]);
    EXPECT_EQ(liveStringCount(), live);
}

TEST(StrPool, ReleaseAllAndResetEmptyTheLiveList) {
    RuntimeString* global = nullptr;
    kxStrStore(&global, kxStrConst("left in a global at the end of the run, long enough for the heap"));
    for (int i = 0; i < 600; ++i) make("temporary");
    EXPECT_GE(liveStringCount(), 601);
    releaseAllStrings();
    EXPECT_EQ(liveStringCount(), 0);

    make("forgotten");
    resetStringPool();
    EXPECT_EQ(liveStringCount(), 0);
    EXPECT_EQ(stringView(make("after reset")), "after reset");
    EXPECT_EQ(liveStringCount(), 1);
    releaseAllStrings();
    EXPECT_EQ(liveStringCount(), 0);
}

// ---------------------------------------------------------------------------
// Registration

TEST(StrRoutines, RegisterUnderTheirInternalNames) {
    Registrar reg;
    linkStringRoutines(reg);
    std::map<std::string, std::uintptr_t> entries;
    for (const Registration& r : reg.registrations()) {
        EXPECT_EQ(r.cFunction, nullptr);
        EXPECT_NE(r.value, 0u);
        entries[r.name] = r.value;
    }
    const std::vector<std::string> names = {"_kxStrLoad", "_kxStrRelease", "_kxStrStore", "_kxStrConcat",
                                            "_kxStrCompare", "_kxStrToInt", "_kxStrFromInt",
                                            "_kxStrToFloat", "_kxStrFromFloat", "_kxStrConst"};
    EXPECT_EQ(entries.size(), names.size());
    for (const std::string& name : names) EXPECT_TRUE(entries.count(name)) << name;

    // The addresses are the routines themselves (behind the boundary).
    auto fromInt = reinterpret_cast<RuntimeString* (*)(std::int32_t)>(entries["_kxStrFromInt"]);
    auto toFloat = reinterpret_cast<float (*)(RuntimeString*)>(entries["_kxStrToFloat"]);
    auto concat = reinterpret_cast<RuntimeString* (*)(RuntimeString*, RuntimeString*)>(entries["_kxStrConcat"]);
    auto compare = reinterpret_cast<std::int32_t (*)(RuntimeString*, RuntimeString*)>(entries["_kxStrCompare"]);
    auto constant = reinterpret_cast<RuntimeString* (*)(const char*)>(entries["_kxStrConst"]);
    EXPECT_EQ(toFloat(concat(fromInt(12), constant(".5"))), 12.5f);
    EXPECT_EQ(compare(constant("a"), constant("b")), -1);
}

}  // namespace
