#include "core/dump_listing.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <numeric>
#include <vector>

#include "support/file_size_limit.h"
#include "support/temp_dir.h"
#include "support/unreadable_files.h"

// Lines carry the flash address in lower-case hex, the bytes in upper case, no blank at the
// end and CR LF; a file replaces the earlier one whole or not at all: a stopped listing or a full
// disk keeps the earlier file; a file that cannot be created or written is told apart.
TEST(DumpListing, LinesStopAndUncreatableFile) {
    std::vector<uint8_t> bytes(48);
    std::iota(bytes.begin(), bytes.end(), uint8_t{0xA0});
    EXPECT_EQ(DumpListingLine(0x1000, std::span(bytes).first(16)),
              "00001000h : A0 A1 A2 A3 A4 A5 A6 A7 A8 A9 AA AB AC AD AE AF\r\n");

    TempDir dir;
    struct Case {
        int stopBeforeLine;  // -1: never
        rlim_t fileLimit;
        ListingResult result;
        std::string text;
    };
    const std::string listing = "00abcde0h : A0 A1 A2 A3 A4 A5 A6 A7 A8 A9 AA AB AC AD AE AF\r\n"
                                "00abcdf0h : B0 B1 B2 B3 B4 B5 B6 B7 B8 B9 BA BB BC BD BE BF\r\n"
                                "00abce00h : C0 C1 C2 C3 C4 C5 C6 C7 C8 C9 CA CB CC CD CE CF\r\n";
    const Case cases[] = {
        {-1, RLIM_INFINITY, ListingResult::Written, listing},
        {1, RLIM_INFINITY, ListingResult::Stopped, "earlier"},
        {0, RLIM_INFINITY, ListingResult::Stopped, "earlier"},
        {-1, 100, ListingResult::NotWritten, "earlier"},
    };
    for (const auto& c : cases) {
        dir.write("Dump.txt", "earlier");
        int line = 0;
        const FileSizeLimit disk(c.fileLimit);
        const auto result = WriteDumpListing(dir.file("Dump.txt"), 0xABCDE0, bytes, [&] { return line++ == c.stopBeforeLine; });
        EXPECT_EQ(result, c.result) << c.stopBeforeLine;
        EXPECT_EQ(dir.read("Dump.txt"), c.text) << c.stopBeforeLine;
    }
    {
        const FileSizeLimit disk(20);
        EXPECT_EQ(WriteDumpBinary(dir.file("Dump.txt"), bytes), ListingResult::NotWritten);
    }
    EXPECT_EQ(dir.read("Dump.txt"), "earlier");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);  // no staged file stays
    EXPECT_EQ(WriteDumpListing(dir.file("missing/Dump.txt"), 0, bytes, {}), ListingResult::NotCreated);
    // A device or a FIFO in the file's place is refused, never written or waited on.
    EXPECT_EQ(WriteDumpListing("/dev/full", 0, bytes, {}), ListingResult::NotCreated);
    EXPECT_EQ(WriteDumpBinary(dir.path() + MakeUnreadableFiles(dir.path(), "")[0], bytes), ListingResult::NotCreated);
}
