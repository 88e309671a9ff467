#include "core/image_loader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "core/crc16.h"
#include "platform/strfmt.h"
#include "support/temp_dir.h"
#include "support/unreadable_files.h"
#include "support/watchdog.h"

namespace {

// The CRC the page shows: over the image padded with 0xFF to the model's flash size.
std::string crcPadded(const std::string& bytes, uint32_t flashSize) {
    std::vector<uint8_t> flash(flashSize, 0xFF);
    std::copy(bytes.begin(), bytes.end(), flash.begin());
    return strfmt("%04X", CalcCRC16(flash, 0xFFFF, 0));
}

}  // namespace

TEST(ImageLoader, LoadsBinAndHexAndRefusesWhatDoesNotFit) {
    const std::string hex = ":10010000000102030405060708090A0B0C0D0E0F77\n:00000001FF\n";
    const std::string binOfHex = std::string(256, '\0') + std::string("\0\1\2\3\4\5\6\7\10\11\12\13\14\15\16\17", 16);
    const struct {
        const char* file;
        std::string bytes;
        uint32_t flash;
        ImageLoadOutcome outcome;
        const char* burned;  // the file the workers burn
        std::string binary;  // its content
        std::string error;
    } cases[] = {
        {"fw.Bin", std::string(100, 'B'), 0x10000, ImageLoadOutcome::Loaded, "fw.Bin", std::string(100, 'B'), ""},
        {"fw.hex", hex, 0x8000, ImageLoadOutcome::Loaded, "fw.bin", binOfHex, ""},
        {"full.bin", std::string(0x10000, 'F'), 0x10000, ImageLoadOutcome::Loaded, "full.bin", std::string(0x10000, 'F'), ""},
        // Kept as the image all the same, so that Burn refuses it by its size.
        {"big.bin", std::string(0x10001, 'F'), 0x10000, ImageLoadOutcome::Oversized, "big.bin", "", "File size more than 10000"},
        {"notes.txt", "x", 0x10000, ImageLoadOutcome::NotAnImage, "", "", ""},
        // A HEX file cut off after a whole line, as an interrupted copy leaves it: the image it
        // holds would be short.
        {"cut.hex", hex.substr(0, hex.find('\n') + 1), 0x8000, ImageLoadOutcome::Refused, "", "",
         "HEX file error in line 2: the file ends without an end-of-file record"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        dir.write(c.file, c.bytes);
        const ImageFileLoad load = LoadImageFile(dir.file(c.file), c.flash);
        EXPECT_EQ(load.outcome, c.outcome) << c.file;
        EXPECT_EQ(load.error, c.error) << c.file;
        if (c.outcome != ImageLoadOutcome::Loaded) {
            EXPECT_EQ(load.imagePath, *c.burned ? dir.file(c.burned) : "") << c.file;
            continue;
        }
        EXPECT_EQ(load.imagePath, dir.file(c.burned));
        EXPECT_EQ(dir.read(c.burned), c.binary) << c.file;
        EXPECT_EQ(load.sizeText, std::to_string(c.binary.size())) << c.file;
        EXPECT_EQ(load.crcText, crcPadded(c.binary, c.flash)) << c.file;
    }
    TempDir dir;
    const ImageFileLoad missing = LoadImageFile(dir.file("none.bin"), 0x10000);
    EXPECT_EQ(missing.outcome, ImageLoadOutcome::Refused);
    EXPECT_EQ(missing.error, "File : " + dir.file("none.bin") + " could not be opened!!!");
}

// What the operator may pick that is no image on disk: a FIFO without a writer, a device, a
// 3 GB sparse file, a file that fails as it is read, a file that says it is empty and reads on
// for hundreds of gigabytes. Each is refused with a message at once, and nothing is written.
TEST(ImageLoader, RefusesFifosDevicesHugeAndFailingFiles) {
    TempDir dir;
    MakeUnreadableFiles(dir.path(), ".bin");
    MakeUnreadableFiles(dir.path(), ".hex");
    for (const char* failing : {"mem.bin", "mem.hex"}) std::filesystem::create_symlink("/proc/self/mem", dir.file(failing));
    for (const char* endless : {"map.bin", "map.hex"}) std::filesystem::create_symlink("/proc/self/pagemap", dir.file(endless));
    const struct { const char* file; ImageLoadOutcome outcome; const char* error; } cases[] = {
        {"fifo.bin", ImageLoadOutcome::Refused, "File : %s is not a regular file!"},
        {"fifo.hex", ImageLoadOutcome::Refused, "File : %s is not a regular file!"},
        {"zero.bin", ImageLoadOutcome::Refused, "File : %s is not a regular file!"},
        {"zero.hex", ImageLoadOutcome::Refused, "File : %s is not a regular file!"},
        {"huge.bin", ImageLoadOutcome::Oversized, "File size more than 10000"},
        {"huge.hex", ImageLoadOutcome::Refused, "File : %s is too large for an image!"},
        {"mem.bin", ImageLoadOutcome::Refused, "File : %s could not be read!!!"},
        {"mem.hex", ImageLoadOutcome::Refused, "File : %s could not be read!!!"},
        {"map.bin", ImageLoadOutcome::Refused, "File : %s could not be read!!!"},
        {"map.hex", ImageLoadOutcome::Refused, "File : %s is too large for an image!"},
    };
    for (const auto& c : cases) {
        const Watchdog watchdog(c.file, std::chrono::seconds(120));
        const ImageFileLoad load = LoadImageFile(dir.file(c.file), 0x10000);
        EXPECT_EQ(load.outcome, c.outcome) << c.file;
        EXPECT_EQ(load.error, strfmt(c.error, dir.file(c.file).c_str())) << c.file;
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 10);
}
