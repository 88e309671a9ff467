#include "core/dump_listing.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "support/temp_dir.h"
#include "support/unreadable_files.h"

// Lines carry the flash address in lower-case hex, the bytes in upper case, no blank at the
// end and CR LF; a stop keeps the lines written; a file that cannot be created or written is
// told apart.
TEST(DumpListing, LinesStopAndUncreatableFile) {
    std::vector<uint8_t> bytes(48);
    std::iota(bytes.begin(), bytes.end(), uint8_t{0xA0});
    EXPECT_EQ(DumpListingLine(0x1000, std::span(bytes).first(16)),
              "00001000h : A0 A1 A2 A3 A4 A5 A6 A7 A8 A9 AA AB AC AD AE AF\r\n");

    TempDir dir;
    struct Case {
        int stopBeforeLine;  // -1: never
        ListingResult result;
        std::string text;
    };
    const std::string line2 = "00abcdf0h : B0 B1 B2 B3 B4 B5 B6 B7 B8 B9 BA BB BC BD BE BF\r\n";
    const Case cases[] = {
        {-1, ListingResult::Written, "00abcde0h : A0 A1 A2 A3 A4 A5 A6 A7 A8 A9 AA AB AC AD AE AF\r\n" + line2 +
                                         "00abce00h : C0 C1 C2 C3 C4 C5 C6 C7 C8 C9 CA CB CC CD CE CF\r\n"},
        {1, ListingResult::Stopped, "00abcde0h : A0 A1 A2 A3 A4 A5 A6 A7 A8 A9 AA AB AC AD AE AF\r\n"},
        {0, ListingResult::Stopped, ""},
    };
    for (const auto& c : cases) {
        int line = 0;
        const auto result = WriteDumpListing(dir.file("Dump.txt"), 0xABCDE0, bytes, [&] { return line++ == c.stopBeforeLine; });
        EXPECT_EQ(result, c.result) << c.stopBeforeLine;
        EXPECT_EQ(dir.read("Dump.txt"), c.text) << c.stopBeforeLine;
    }
    EXPECT_EQ(WriteDumpListing(dir.file("missing/Dump.txt"), 0, bytes, {}), ListingResult::NotCreated);
    // A full disk is a failure, never a short file taken as written; a FIFO is not waited on.
    EXPECT_EQ(WriteDumpListing("/dev/full", 0, bytes, {}), ListingResult::NotWritten);
    EXPECT_EQ(WriteDumpBinary("/dev/full", bytes), ListingResult::NotWritten);
    EXPECT_EQ(WriteDumpBinary(dir.path() + MakeUnreadableFiles(dir.path(), "")[0], bytes), ListingResult::NotCreated);
}
