#include "app/validators.h"

#include <gtest/gtest.h>

#include "app/globals.h"

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

TEST(Validators, FlashTailPageAndBlockOfAModel) {
    const struct { uint8_t mode; uint32_t tail, page, block; } cases[] = {
        {0, 0x3FF8, 512, 0x4000}, {3, 0xFF8, 256, 0x4000}, {7, 0xBFF8, 512, 0xC000}, {11, 0x3FF8, 1024, 0x4000},
        {200, 0x3FF8, 512, 0x4000}};
    for (const auto& c : cases) {
        EXPECT_EQ(GetFlashTailAddr(c.mode), c.tail) << int{c.mode};
        EXPECT_EQ(GetFlashPageSize(c.mode), c.page) << int{c.mode};
        EXPECT_EQ(GetFlashBlockSize(c.mode), c.block) << int{c.mode};
    }
    for (uint8_t mode = 2; mode <= 12; ++mode)  // the last eight bytes of the model's flash
        EXPECT_EQ(GetFlashTailAddr(mode), FlashSizeOfMode(mode) - 8) << int{mode};
}
