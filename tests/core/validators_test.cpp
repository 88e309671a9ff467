#include "core/validators.h"

#include <gtest/gtest.h>

namespace {

struct Check {
    const char* text;
    uint32_t limit;
    uint32_t expected;
};

}  // namespace

// 0 accepted, 1 a character that does not belong, 2 over the limit.
TEST(Validators, HexStringAnswers) {
    for (const Check& c : {
             Check{"", 0, 0}, {"1F", 0x1F, 0}, {"1f", 0x1F, 0}, {"20", 0x1F, 2}, {"1G", 0xFF, 1},
             {":", 0xFF, 1},  // ':' sorts between the digits and 'A' but is no digit
             {"`", 0xFF, 1}, {"12 ", 0xFF, 1},
             {"FFFZ", 0xFF, 2},  // the leading digits are over the limit before Z is reached
             {"FFZ", 0xFF, 1}, {"FFFFFFFF", 0xFFFFFFFF, 0},
             {"100000000", 0xFFFFFFFF, 2},  // nine digits would wrap to 0
             {"0x1F", 0x1F, 0}, {"0X1f", 0x1F, 0}, {"0x20", 0x1F, 2}, {"0x", 0, 0},  // as "%X" reads
             {"0x1G", 0xFF, 1}, {"x1F", 0xFF, 1}, {"00x1", 0xFF, 1}, {"0x0x1", 0xFF, 1},
         }) {
        EXPECT_EQ(CheckHexString(c.text, c.limit), c.expected) << '"' << c.text << '"';
    }
}

TEST(Validators, DecimalStringAnswers) {
    for (const Check& c : {
             Check{"", 0, 0}, {"12a", 0xFFFFFFFF, 1}, {"-1", 0xFFFFFFFF, 1}, {"100000000", 99999999, 2},
             {"99999999", 99999999, 0}, {"4294967295", 0xFFFFFFFF, 0},
             {"4294967296", 0xFFFFFFFF, 2},  // would wrap to 0
             {"8589934593", 5, 2},           // would wrap to 1
             {"000000000000000000001", 1, 0},
         }) {
        EXPECT_EQ(CheckDecString(c.text, c.limit), c.expected) << '"' << c.text << '"';
        EXPECT_EQ(CheckDecNumber(c.text, c.limit), c.expected) << '"' << c.text << '"';
    }
}

TEST(Validators, TextStringAnswers) {
    for (const Check& c : {
             Check{"", 0, 0}, {"abc~", 4, 0}, {"abcde", 4, 2},
             {"a b", 4, 1},    // a blank sorts below '0'
             {"abcd/", 4, 2},  // too long before the bad character is reached
             {"/abcd", 4, 1}, {"abc", 0x80000000, 0},
         }) {
        EXPECT_EQ(CheckTextString(c.text, c.limit), c.expected) << '"' << c.text << '"';
    }
}
