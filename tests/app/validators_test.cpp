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

TEST(Validators, HexStringAnswers) {
    for (const Check& c : {
             Check{"", 0, 0},
             Check{"1F", 0x1F, 0},
             Check{"1f", 0x1F, 0},
             Check{"20", 0x1F, 2},
             Check{"1G", 0xFF, 1},
             Check{":", 0xFF, 1},  // ':' sorts between the digits and 'A' but is no digit
             Check{"@", 0xFF, 1},
             Check{"`", 0xFF, 1},
             Check{"FFFZ", 0xFF, 2},  // the leading digits are over the limit before Z is reached
             Check{"FFZ", 0xFF, 1},
             Check{"FFFFFFFF", 0xFFFFFFFF, 0},
             Check{"100000000", 0xFFFFFFFF, 2},  // nine digits would wrap to 0
             Check{"1000000001", 0xFFFFFFFF, 2},
             Check{"12 ", 0xFF, 1},
         }) {
        EXPECT_EQ(CheckHexString(c.text, c.limit), c.expected) << '"' << c.text << '"';
    }
}

TEST(Validators, DecimalStringAnswers) {
    for (const Check& c : {
             Check{"", 0, 0},
             Check{"12a", 0xFFFFFFFF, 1},
             Check{"-1", 0xFFFFFFFF, 1},
             Check{"100000000", 99999999, 2},  // nine digits, one above the limit
             Check{"99999999", 99999999, 0},
             Check{"4294967295", 0xFFFFFFFF, 0},
             Check{"4294967296", 0xFFFFFFFF, 2},  // would wrap to 0
             Check{"8589934593", 5, 2},           // would wrap to 1
             Check{"000000000000000000001", 1, 0},
         }) {
        EXPECT_EQ(CheckDecString(c.text, c.limit), c.expected) << '"' << c.text << '"';
        EXPECT_EQ(CheckDecNumber(c.text, c.limit), c.expected) << '"' << c.text << '"';
    }
}

TEST(Validators, TextStringAnswers) {
    for (const Check& c : {
             Check{"", 0, 0},
             Check{"abc~", 4, 0},
             Check{"abcde", 4, 2},
             Check{"a b", 4, 1},  // a blank sorts below '0'
             Check{"a/", 4, 1},
             Check{"abc", 0x80000000, 0},
         }) {
        EXPECT_EQ(CheckTextString(c.text, c.limit), c.expected) << '"' << c.text << '"';
    }
}

TEST(Validators, FlashTailIsTheLastEightBytesOfEachModel) {
    for (uint8_t mode = 2; mode <= 12; ++mode)
        EXPECT_EQ(GetFlashTailAddr(mode), g_dwFlashSizeByMode[mode] - 8) << int{mode};
    EXPECT_EQ(GetFlashPageSize(7), 512u);
    EXPECT_EQ(GetFlashBlockSize(7), 0xC000u);
    EXPECT_EQ(GetFlashPageSize(11), 1024u);
    EXPECT_EQ(GetFlashPageSize(200), 512u);
    EXPECT_EQ(GetFlashTailAddr(0), 0x3FF8u);
    EXPECT_EQ(GetFlashBlockSize(0), 0x4000u);
}
