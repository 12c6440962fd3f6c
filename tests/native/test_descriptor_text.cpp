// The number, position and line readers that the text descriptors share,
// at the last valid and first invalid value of each bound.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/descriptor_text.h"

namespace {

TEST(Decimal, BoundsOfValueAndDigits) {
    uint64_t v = 7;
    EXPECT_TRUE(rip::decimal("99", 3, 99, &v));
    EXPECT_EQ(v, 99u);
    EXPECT_FALSE(rip::decimal("100", 3, 99, &v));
    EXPECT_TRUE(rip::decimal("099", 3, 99, &v)) << "leading zeros count as digits only";
    EXPECT_FALSE(rip::decimal("0099", 3, 99, &v));
    EXPECT_TRUE(rip::decimal("449849", 6, 449849, &v));
    EXPECT_FALSE(rip::decimal("449850", 6, 449849, &v));
    EXPECT_FALSE(rip::decimal("18446744073709551615", 19, UINT64_MAX, &v)) << "20 digits";
    EXPECT_TRUE(rip::decimal("9999999999999999999", 19, UINT64_MAX, &v));
    EXPECT_EQ(v, 9999999999999999999u);
    for (const char* bad : {"", "-1", "+1", " 1", "1 ", "0x10", "1.0"})
        EXPECT_FALSE(rip::decimal(bad, 19, 99, &v)) << bad;
}

TEST(Msf, EachFieldAtItsBound) {
    uint64_t f = 0;
    EXPECT_TRUE(rip::msf("00:59:74", 2, 99, &f));
    EXPECT_EQ(f, 4499u);
    EXPECT_TRUE(rip::msf("99:59:74", 2, 99, &f));
    EXPECT_EQ(f, 449999u);
    EXPECT_TRUE(rip::msf("099:59:74", 3, 99, &f)) << "minutes: their value is bound, not their digits";
    EXPECT_FALSE(rip::msf("100:00:00", 3, 99, &f));
    EXPECT_TRUE(rip::msf("1:2:3", 2, 99, &f));
    EXPECT_EQ(f, (60u + 2u) * 75u + 3u);
    for (const char* bad : {"00:60:00", "00:59:75", "100:00:00", "00:00", "00:00:00:00", "00::00", ":00:00",
                            "00:00:", "-1:00:00", "00:0a:00", "000:00:00"})
        EXPECT_FALSE(rip::msf(bad, 2, 99, &f)) << bad;
}

TEST(ForEachLine, NumbersLinesOfEveryEnding) {
    std::vector<std::string> seen;
    const std::string text = std::string("a\nb\r\nc\rd\n\ne\0f\n", 15);
    EXPECT_TRUE(rip::for_each_line(text.data(), text.size(), [&](const char* b, const char* e, size_t n) {
        seen.push_back(std::to_string(n) + ":" + std::string(b, e));
        return true;
    }));
    EXPECT_EQ(seen, (std::vector<std::string>{"1:a", "2:b", "3:c", "4:d", "5:", "6:e"})) << "ends at the zero byte";
    size_t calls = 0;
    EXPECT_FALSE(rip::for_each_line("x\ny\n", 4, [&](const char*, const char*, size_t) { return ++calls < 1; }));
    EXPECT_EQ(calls, 1u) << "stops at the first false";
}

}  // namespace
