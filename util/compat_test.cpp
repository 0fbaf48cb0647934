#include "util/compat.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

namespace {

using orvex::util::strlcat;
using orvex::util::strlcpy;

// Bytes beyond the buffer size given to the function: they must survive.
constexpr std::size_t guard_bytes = 8;
constexpr char guard = '#';

template <std::size_t N>
bool guard_intact(const std::array<char, N>& buf, std::size_t size) {
    for (std::size_t i = size; i < N; ++i) {
        if (buf[i] != guard) {
            return false;
        }
    }
    return true;
}

struct strlcpy_case {
    const char* src;
    std::size_t size;
    const char* expected;  // nullptr: destination must stay untouched
    std::size_t result;
};

TEST(Strlcpy, CopiesWhatFitsAndReturnsSourceLength) {
    const strlcpy_case cases[] = {
        {"", 1, "", 0},
        {"abc", 4, "abc", 3},
        {"abc", 10, "abc", 3},
        {"abc", 3, "ab", 3},
        {"abcdef", 2, "a", 6},
        {"abcdef", 1, "", 6},
        {"abcdef", 0, nullptr, 6},
        {"", 0, nullptr, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "src \"" << c.src << "\", size " << c.size);
        std::array<char, 16 + guard_bytes> buf;
        buf.fill(guard);
        EXPECT_EQ(strlcpy(buf.data(), c.src, c.size), c.result);
        if (c.expected != nullptr) {
            EXPECT_STREQ(buf.data(), c.expected);
            // The NUL right after the copied text, nothing further.
            EXPECT_TRUE(guard_intact(buf, std::strlen(c.expected) + 1));
        } else {
            EXPECT_TRUE(guard_intact(buf, 0));
        }
        EXPECT_TRUE(guard_intact(buf, c.size));
    }
}

TEST(Strlcpy, ResultAtOrAboveSizeMeansCut) {
    // The test every caller relies on: result >= size <=> the copy was cut.
    const std::string src = "obs.fits";
    for (std::size_t size = 1; size <= src.size() + 2; ++size) {
        SCOPED_TRACE(testing::Message() << "size " << size);
        std::array<char, 32> buf{};
        const std::size_t result = strlcpy(buf.data(), src.c_str(), size);
        const bool cut = std::string(buf.data()) != src;
        EXPECT_EQ(result >= size, cut);
        EXPECT_EQ(std::string(buf.data()), src.substr(0, size - 1));
    }
}

struct strlcat_case {
    const char* dst;
    const char* src;
    std::size_t size;
    const char* expected;
    std::size_t result;
};

TEST(Strlcat, AppendsWhatFitsAndReturnsBothLengths) {
    const strlcat_case cases[] = {
        {"", "", 1, "", 0},
        {"ab", "cd", 5, "abcd", 4},
        {"ab", "cd", 10, "abcd", 4},
        {"ab", "cd", 4, "abc", 4},
        {"ab", "cdef", 3, "ab", 6},   // destination already fills size - 1
        {"", "cdef", 3, "cd", 4},
        {"", "cdef", 1, "", 4},
        {"abc", "", 4, "abc", 3},
        {"obs.fits", ".000", 13, "obs.fits.000", 12},
        {"obs.fits", ".000", 12, "obs.fits.00", 12},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "dst \"" << c.dst << "\", src \"" << c.src
                                        << "\", size " << c.size);
        std::array<char, 16 + guard_bytes> buf;
        buf.fill(guard);
        std::memcpy(buf.data(), c.dst, std::strlen(c.dst) + 1);
        EXPECT_EQ(strlcat(buf.data(), c.src, c.size), c.result);
        EXPECT_STREQ(buf.data(), c.expected);
        EXPECT_TRUE(guard_intact(buf, std::max(c.size, std::strlen(c.dst) + 1)));
    }
}

TEST(Strlcat, UnterminatedDestinationIsNotReadPastSize) {
    // Outside the contract, but it must neither write nor read beyond size.
    std::array<char, 4 + guard_bytes> buf;
    buf.fill(guard);
    std::memcpy(buf.data(), "abcd", 4);
    EXPECT_EQ(strlcat(buf.data(), "xy", 4), 6u);
    EXPECT_EQ(std::string(buf.data(), 4), "abcd");
    EXPECT_TRUE(guard_intact(buf, 4));
}

}  // namespace
