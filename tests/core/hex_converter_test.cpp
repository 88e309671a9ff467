#include "core/hex_converter.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <set>

#include "platform/strfmt.h"
#include "support/file_size_limit.h"
#include "support/staging_trap.h"
#include "support/temp_dir.h"
#include "support/unreadable_files.h"
#include "support/watchdog.h"

namespace {

// One record with a correct checksum.
std::string record(int type, unsigned address, const std::vector<uint8_t>& data) {
    unsigned sum = static_cast<unsigned>(data.size()) + (address >> 8) + (address & 0xFF) + static_cast<unsigned>(type);
    std::string text = strfmt(":%02X%04X%02X", static_cast<unsigned>(data.size()), address, type);
    for (uint8_t byte : data) {
        text += strfmt("%02X", byte);
        sum += byte;
    }
    return text + strfmt("%02X\r\n", (0x100 - (sum & 0xFF)) & 0xFF);
}

std::string linear(unsigned upper) { return record(4, 0, {uint8_t(upper >> 8), uint8_t(upper)}); }

const std::string kEnd = ":00000001FF\n";

// An image of the given size, zero but for the listed bytes.
std::vector<uint8_t> image(size_t size, std::initializer_list<std::pair<size_t, uint8_t>> bytes) {
    std::vector<uint8_t> data(size, 0);
    for (auto [offset, value] : bytes) data[offset] = value;
    return data;
}

}  // namespace

TEST(HexConverter, PlacesRecordsAtTheirAddressesWithZeroGaps) {
    std::string lower = record(0, 0x0100, {0xAB, 0xCD});
    for (char& c : lower) c = static_cast<char>(std::tolower(c));
    const struct { const char* name; std::string text; std::vector<uint8_t> image; } cases[] = {
        {"gap before", record(0, 0x0100, {0xAB, 0xCD}) + kEnd, image(0x102, {{0x100, 0xAB}, {0x101, 0xCD}})},
        // Lower-case digits and blank lines read alike.
        {"lower case", "\n" + lower + "\n\n" + kEnd, image(0x102, {{0x100, 0xAB}, {0x101, 0xCD}})},
        // One 64 KB window linked at 0x10000000 lands at offset 0.
        {"one window", linear(0x1000) + record(0, 0, {1, 2}) + kEnd, {1, 2}},
        // An image spanning two windows keeps its layout instead of folding onto itself.
        {"two windows", linear(0x0800) + record(0, 0xFFFE, {1, 2}) + linear(0x0801) + record(0, 0, {3, 4}) + kEnd,
         image(0x10002, {{0xFFFE, 1}, {0xFFFF, 2}, {0x10000, 3}, {0x10001, 4}})},
        // Start addresses are not data, nor is an address record or a padding after the end.
        {"after end", record(0, 0, {7}) + record(5, 0, {0, 0, 0, 0}) + kEnd + linear(1) + std::string(3, '\0'), {7}},
        // The last line of many files has no line end.
        {"end record without line end", record(0, 0, {1, 2}) + ":00000001FF", {1, 2}},
        {"data without line end", record(0, 0, {1, 2}) + record(0, 2, {3}).substr(0, 13) + kEnd, {1, 2, 3}},
    };
    TempDir dir;
    for (const auto& c : cases) {
        const HexConversion result = ConvertHexText(c.text);
        EXPECT_TRUE(result.ok) << c.name << ": " << result.error;
        EXPECT_EQ(result.image, c.image) << c.name;
        // The file, read in chunks, converts alike.
        dir.write("fw.hex", c.text);
        EXPECT_TRUE(ConvertHexToBin(dir.file("fw.hex"), dir.file("fw.bin")).ok) << c.name;
        EXPECT_EQ(dir.read("fw.bin"), std::string(c.image.begin(), c.image.end())) << c.name;
    }
}

TEST(HexConverter, RefusesMalformedRecordsNamingTheLine) {
    const std::string good = record(0, 0, {1, 2, 3, 4});
    std::string badSum = record(0, 0x10, {1, 2, 3, 4});
    badSum[badSum.size() - 3] ^= 1;
    std::string badDigit = record(0, 0x10, {1, 2, 3, 4});
    badDigit[10] = 'G';
    const struct { const char* name; std::string text; const char* reason; const char* line; } cases[] = {
        {"bad checksum", good + badSum, "checksum", "line 2:"},
        {"non-hex character", good + badDigit, "not a hex digit", "line 2:"},
        {"length past the line", good + ":10001000010203\n" + kEnd, "past the end", "line 2:"},
        {"cut off at the end of the file", good + ":0400100001", "past the end", "line 2:"},
        {"type 02", good + record(2, 0, {0x10, 0x00}), "segment", "line 2:"},
        {"past the 16 MB buffer", good + linear(0x00FF) + record(0, 0xFFFF, {1, 2}), "16 MB", "line 3:"},
        {"below the first base", linear(0x0001) + record(0, 0, {1}) + linear(0) + good, "16 MB", "line 4:"},
        {"short type 04", good + record(4, 0, {0x10}), "extended linear", "line 2:"},
        // A count one short of its data, whose last byte then passes for the checksum.
        {"count short of its line", good + ":03001000010203E7FF\r\n" + kEnd, "after its checksum", "line 2:"},
        // A file cut short at a record's end, and data that the end record would hide.
        {"no end record", good + "\n" + good, "without an end-of-file record", "line 4:"},
        {"no end record, no line end", good + record(0, 4, {5}).substr(0, 13), "without an end-of-file record", "line 2:"},
        {"data after the end", good + kEnd + record(0, 0x10, {8}) + kEnd, "after the end-of-file record", "line 3:"},
        {"a broken record after the end", good + kEnd + ":0100100008XX\n", "not a hex digit", "line 3:"},
        {"empty", "", "end-of-file", "line 1:"},
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
    EXPECT_EQ(BinPathBesideHex(dir.file("fw.HEX")), dir.file("fw.bin"));
    ASSERT_TRUE(ConvertHexToBin(dir.file("fw.HEX"), dir.file("fw.bin")).ok);
    EXPECT_EQ(dir.read("fw.bin"), std::string("\0\0\xAA", 3));

    dir.write("bad.hex", record(0, 0, {1}) + ":0100000001XX\n");
    EXPECT_FALSE(ConvertHexToBin(dir.file("bad.hex"), dir.file("bad.bin")).ok);
    EXPECT_FALSE(std::filesystem::exists(dir.file("bad.bin")));
    EXPECT_EQ(ConvertHexToBin(dir.file("none.hex"), dir.file("none.bin")).error,
              "File : " + dir.file("none.hex") + " could not be opened!!!");
}

// A binary whose name is another name of the file converted (a link, a chain of links, a hard
// link) is refused with a message; the source stays as it was, and so do its names.
TEST(HexConverter, AConversionOntoItsOwnInputIsRefused) {
    using Name = int (*)(const std::string& from, const std::string& to);
    const struct { const char* name; Name makeName; } cases[] = {
        {"a link", [](const std::string& from, const std::string& to) { return ::symlink(from.c_str(), to.c_str()); }},
        {"a chain of links",
         [](const std::string& from, const std::string& to) {
             return ::symlink(from.c_str(), (to + ".mid").c_str()) | ::symlink((to + ".mid").c_str(), to.c_str());
         }},
        {"a hard link", [](const std::string& from, const std::string& to) { return ::link(from.c_str(), to.c_str()); }},
    };
    using Convert = HexConversion (*)(const std::string&, const std::string&);
    const struct { const char *source, *bin; std::string text; Convert convert; } conversions[] = {
        {"fw.hex", "fw.bin", record(0, 2, {0xAA}) + kEnd, ConvertHexToBin},
        {"bytes.txt", "bytes.bin", "A5\n", ConvertByteLinesToBin}};
    for (const auto& c : cases) {
        TempDir dir;
        for (const auto& v : conversions) {
            SCOPED_TRACE(std::string(c.name) + ", " + v.source);
            dir.write(v.source, v.text);
            ASSERT_EQ(c.makeName(dir.file(v.source), dir.file(v.bin)), 0);
            const HexConversion converted = v.convert(dir.file(v.source), dir.file(v.bin));
            EXPECT_FALSE(converted.ok);
            EXPECT_EQ(converted.error, "File : " + dir.file(v.bin) + " is " + dir.file(v.source) + " itself!");
            EXPECT_EQ(dir.read(v.source), v.text);
            EXPECT_EQ(std::filesystem::is_symlink(dir.file(v.bin)), std::string(c.name) != "a hard link");
        }
    }
}

// The file is read in chunks and the binary written in runs: records that a chunk boundary
// cuts, lines of every length, a window that goes back and overwrites, and a gap all come out
// as the whole text converted in memory.
TEST(HexConverter, ConvertsAFileInChunksAsTheWholeText) {
    std::string text;
    for (unsigned address = 0, count = 1; address < 0xF000; address += count, count = count % 248 + 7)
        text += record(0, address, std::vector<uint8_t>(count, static_cast<uint8_t>(address)));
    text += linear(0x0001) + record(0, 0x8000, {9, 9}) + "junk between records\n" + linear(0) +
            record(0, 0x0010, {7, 7, 7}) + kEnd;
    TempDir dir;
    dir.write("fw.hex", text);
    const HexConversion whole = ConvertHexText(text);
    const HexConversion file = ConvertHexToBin(dir.file("fw.hex"), dir.file("fw.bin"));
    ASSERT_TRUE(whole.ok && file.ok) << whole.error << file.error;
    EXPECT_EQ(file.size, whole.image.size());
    EXPECT_EQ(dir.read("fw.bin"), std::string(whole.image.begin(), whole.image.end()));
}

// The binary beside the HEX file is replaced only by a complete conversion: a disk that fills
// up midway or a bad record midway leaves the previous binary as it was. What an earlier crash
// left at "fw.bin.tmp" is neither waited on nor written through, by this converter or the one
// of byte lines; a FIFO in the binary's own place is refused at once. No staged file stays.
TEST(HexConverter, TheBinaryIsReplacedWholeOrNotAtAll) {
    std::string image;
    for (unsigned address = 0; address < 0x4000; address += 16) image += record(0, address, std::vector<uint8_t>(16, 0x5A));
    const struct {
        const char* name;
        std::string hex;
        rlim_t fileLimit;
        std::optional<OldStagingName> trap;
        bool binaryIsFifo = false;
    } cases[] = {
        {"disk full", image + kEnd, 4096, {}},
        {"bad record", image + ":0100000001XX\n", RLIM_INFINITY, {}},
        {"a FIFO at the old staging name", image + kEnd, RLIM_INFINITY, OldStagingName::Fifo},
        {"a link out at the old staging name", image + kEnd, RLIM_INFINITY, OldStagingName::LinkOut},
        {"a FIFO in the binary's place", image + kEnd, RLIM_INFINITY, {}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        dir.write("fw.hex", c.hex);
        dir.write("bytes.txt", "A5\n");
        if (c.binaryIsFifo)
            ASSERT_EQ(mkfifo(dir.file("fw.bin").c_str(), 0644), 0);
        else
            dir.write("fw.bin", "the previous image");
        std::optional<StagingTrap> trap;
        if (c.trap) trap.emplace(dir.file("fw.bin"), *c.trap);
        // A conversion that waits at the FIFO is a failure, bounded by the trap's watchdog.
        const auto bounded = [&](const std::function<void()>& work) {
            if (!trap) return work();
            EXPECT_TRUE(trap->endsWithin(work));
        };
        HexConversion hex, bytes;
        bounded([&] {
            const FileSizeLimit disk(c.fileLimit);
            hex = ConvertHexToBin(dir.file("fw.hex"), dir.file("fw.bin"));
        });
        const auto binary = [&] { return std::filesystem::is_fifo(dir.file("fw.bin")) ? "a FIFO" : dir.read("fw.bin"); };
        const std::string before = c.binaryIsFifo ? "a FIFO" : "the previous image";
        const bool whole = c.trap.has_value();  // the rows with a trap convert good records
        EXPECT_EQ(hex.ok, whole);
        EXPECT_TRUE(binary() == (whole ? std::string(0x4000, 0x5A) : before));

        bounded([&] { bytes = ConvertByteLinesToBin(dir.file("bytes.txt"), dir.file("fw.bin")); });
        EXPECT_EQ(bytes.ok, !c.binaryIsFifo);
        EXPECT_EQ(binary(), c.binaryIsFifo ? before : "\xA5");
        EXPECT_TRUE(!trap || trap->untouched());
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path())) names.insert(entry.path().filename());
        EXPECT_EQ(names, (std::set<std::string>{"fw.hex", "bytes.txt", "fw.bin", trap ? "fw.bin.tmp" : "fw.hex"}));
    }
}

// A text of one byte per line: each line's first two characters in line order, whatever
// follows them and whichever line end; a line that spells no byte refuses the file, leaving the
// previous binary, and a FIFO or device is refused unread.
TEST(HexConverter, ByteLinesBecomeTheBinaryInLineOrder) {
    const struct { const char* name; std::string text; std::string binary; std::string error; } cases[] = {
        {"plain", "5A\n01\nff\n", "\x5A\x01\xFF", ""},
        {"tails and CR LF", "5A comment\r\n0Bx\r\n\r\n7e", "\x5A\x0B\x7E", ""},
        {"empty", "", "", ""},
        {"short line", "5A\n1\n22\n", "", "HEX file error in line 2: the line does not begin with two hex digits"},
        {"not hex", "5A\n01\n\nG1\n", "", "HEX file error in line 4: the line does not begin with two hex digits"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        dir.write("bytes.txt", c.text);
        dir.write("bytes.bin", "previous");
        const HexConversion result = ConvertByteLinesToBin(dir.file("bytes.txt"), dir.file("bytes.bin"));
        EXPECT_EQ(result.error, c.error) << c.name;
        EXPECT_EQ(result.ok, c.error.empty()) << c.name;
        EXPECT_EQ(dir.read("bytes.bin"), c.error.empty() ? c.binary : "previous") << c.name;
        if (result.ok) {
            EXPECT_EQ(result.size, c.binary.size()) << c.name;
        }
    }
    TempDir dir;
    std::vector<std::string> unreadable = MakeUnreadableFiles(dir.path(), ".txt");
    // It says it is empty, and reads on for hundreds of gigabytes.
    unreadable.push_back("endless.txt");
    std::filesystem::create_symlink("/proc/self/pagemap", dir.file("endless.txt"));
    for (const std::string& name : unreadable) {
        const Watchdog watchdog(name, std::chrono::seconds(120));
        const HexConversion result = ConvertByteLinesToBin(dir.file(name), dir.file("out.bin"));
        EXPECT_FALSE(result.ok) << name;
        EXPECT_FALSE(std::filesystem::exists(dir.file("out.bin"))) << name;
    }
}
