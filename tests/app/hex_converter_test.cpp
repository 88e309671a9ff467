#include "app/hex_converter.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.h"
#include "platform/strfmt.h"

namespace {

// One record with a correct checksum.
std::string record(int type, unsigned address, const std::vector<uint8_t>& data) {
    unsigned sum = static_cast<unsigned>(data.size()) + (address >> 8) + (address & 0xFF) +
                   static_cast<unsigned>(type);
    std::string text = strfmt(":%02X%04X%02X", static_cast<unsigned>(data.size()), address, type);
    for (uint8_t byte : data) {
        text += strfmt("%02X", byte);
        sum += byte;
    }
    return text + strfmt("%02X\r\n", (0x100 - (sum & 0xFF)) & 0xFF);
}

std::string linear(unsigned upper) {
    return record(4, 0, {static_cast<uint8_t>(upper >> 8), static_cast<uint8_t>(upper)});
}

const std::string kEnd = ":00000001FF\n";

std::vector<uint8_t> bytesFrom(uint8_t first, size_t count) {
    std::vector<uint8_t> data(count);
    for (size_t i = 0; i < count; ++i) data[i] = static_cast<uint8_t>(first + i);
    return data;
}

}  // namespace

TEST(HexConverter, PlacesRecordsAtTheirAddressesWithZeroGaps) {
    const auto data = bytesFrom(0x10, 16);
    const HexConversion one = ConvertHexText(record(0, 0x0100, data) + kEnd);
    ASSERT_TRUE(one.ok) << one.error;
    ASSERT_EQ(one.image.size(), 0x110u);
    EXPECT_EQ(std::vector<uint8_t>(one.image.begin(), one.image.begin() + 0x100),
              std::vector<uint8_t>(0x100, 0x00));
    EXPECT_EQ(std::vector<uint8_t>(one.image.begin() + 0x100, one.image.end()), data);

    // Lower-case digits, blank lines and no end-of-file record read alike.
    std::string lower = record(0, 0x0100, data);
    for (char& c : lower) c = static_cast<char>(std::tolower(c));
    const HexConversion two = ConvertHexText("\n" + lower + "\n");
    ASSERT_TRUE(two.ok) << two.error;
    EXPECT_EQ(two.image, one.image);
}

TEST(HexConverter, LinearAddressesCountFromTheFirstBase) {
    // One 64 KB window linked at 0x10000000 lands at offset 0.
    const HexConversion window = ConvertHexText(linear(0x1000) + record(0, 0, {1, 2}) + kEnd);
    ASSERT_TRUE(window.ok) << window.error;
    EXPECT_EQ(window.image, (std::vector<uint8_t>{1, 2}));

    // An image spanning two windows keeps its layout instead of folding onto itself.
    const HexConversion spanning = ConvertHexText(linear(0x0800) + record(0, 0xFFFE, {1, 2}) +
                                                  linear(0x0801) + record(0, 0x0000, {3, 4}) +
                                                  kEnd);
    ASSERT_TRUE(spanning.ok) << spanning.error;
    ASSERT_EQ(spanning.image.size(), 0x10002u);
    EXPECT_EQ(spanning.image[0xFFFE], 1);
    EXPECT_EQ(spanning.image[0x10001], 4);

    // Records after the end-of-file record and start addresses are not data.
    const HexConversion tail = ConvertHexText(record(0, 0, {7}) + record(5, 0, {0, 0, 0, 0}) +
                                              kEnd + record(0, 0x10, {8}));
    ASSERT_TRUE(tail.ok) << tail.error;
    EXPECT_EQ(tail.image, (std::vector<uint8_t>{7}));
}

TEST(HexConverter, RefusesMalformedRecordsNamingTheLine) {
    const std::string good = record(0, 0, {1, 2, 3, 4});
    std::string badSum = record(0, 0x10, {1, 2, 3, 4});
    badSum[badSum.size() - 3] ^= 1;
    std::string badDigit = record(0, 0x10, {1, 2, 3, 4});
    badDigit[10] = 'G';
    const struct {
        const char* name;
        std::string text;
        const char* reason;
        const char* line;
    } cases[] = {
        {"bad checksum", good + badSum, "checksum", "line 2:"},
        {"non-hex character", good + badDigit, "not a hex digit", "line 2:"},
        {"length past the line", good + ":10001000010203\n" + kEnd, "past the end", "line 2:"},
        {"cut off at the end of the file", good + ":0400100001", "past the end", "line 2:"},
        {"type 02", good + record(2, 0, {0x10, 0x00}), "segment", "line 2:"},
        {"past the 16 MB buffer", good + linear(0x00FF) + record(0, 0xFFFF, {1, 2}), "16 MB",
         "line 3:"},
        {"below the first base", linear(0x0001) + record(0, 0, {1}) + linear(0) + good, "16 MB",
         "line 4:"},
        {"short type 04", good + record(4, 0, {0x10}), "extended linear", "line 2:"},
    };
    for (const auto& c : cases) {
        const HexConversion result = ConvertHexText(c.text);
        EXPECT_FALSE(result.ok) << c.name;
        EXPECT_NE(result.error.find(c.line), std::string::npos) << c.name << ": " << result.error;
        EXPECT_NE(result.error.find(c.reason), std::string::npos) << c.name << ": " << result.error;
        EXPECT_TRUE(result.image.empty()) << c.name;
    }
}

TEST(HexConverter, WritesTheBinaryBesideOnlyAfterSuccess) {
    TempDir dir;
    dir.write("fw.HEX", record(0, 2, {0xAA}) + kEnd);
    const std::string bin = BinPathBesideHex(dir.file("fw.HEX"));
    EXPECT_EQ(bin, dir.file("fw.bin"));
    ASSERT_TRUE(ConvertHexToBin(dir.file("fw.HEX"), bin).ok);
    EXPECT_EQ(dir.read("fw.bin"), std::string("\0\0\xAA", 3));

    dir.write("bad.hex", record(0, 0, {1}) + ":0100000001XX\n");
    EXPECT_FALSE(ConvertHexToBin(dir.file("bad.hex"), dir.file("bad.bin")).ok);
    EXPECT_FALSE(std::filesystem::exists(dir.file("bad.bin")));

    const HexConversion missing = ConvertHexToBin(dir.file("none.hex"), dir.file("none.bin"));
    EXPECT_EQ(missing.error, "File : " + dir.file("none.hex") + " could not be opened!!!");
}
