#include "app/image_loader.h"

#include <gtest/gtest.h>

#include <vector>

#include "app/crc16.h"
#include "support/temp_dir.h"

namespace {

uint16_t crcPadded(const std::string& bytes, uint32_t flashSize) {
    std::vector<uint8_t> flash(flashSize, 0xFF);
    std::copy(bytes.begin(), bytes.end(), flash.begin());
    return CalcCRC16(flash, 0xFFFF, 0);
}

}  // namespace

TEST(ImageLoader, BinShowsSizeAndCrcOverThePaddedFlash) {
    TempDir dir;
    const std::string bytes(100, '\x42');
    dir.write("fw.Bin", bytes);
    const ImageFileLoad load = LoadImageFile(dir.file("fw.Bin"), 0x10000);
    ASSERT_EQ(load.outcome, ImageLoadOutcome::Loaded) << load.error;
    EXPECT_EQ(load.extension, "bin");
    EXPECT_EQ(load.imagePath, dir.file("fw.Bin"));
    EXPECT_EQ(load.sizeText, "100");
    char crc[8];
    std::snprintf(crc, sizeof crc, "%04X", crcPadded(bytes, 0x10000));
    EXPECT_EQ(load.crcText, crc);
}

TEST(ImageLoader, HexBecomesABinBesideIt) {
    TempDir dir;
    dir.write("fw.hex", ":10010000000102030405060708090A0B0C0D0E0F77\n:00000001FF\n");
    const ImageFileLoad load = LoadImageFile(dir.file("fw.hex"), 0x8000);
    ASSERT_EQ(load.outcome, ImageLoadOutcome::Loaded) << load.error;
    EXPECT_EQ(load.imagePath, dir.file("fw.bin"));
    const std::string bin = dir.read("fw.bin");
    ASSERT_EQ(bin.size(), 272u);
    EXPECT_EQ(bin.substr(0, 256), std::string(256, '\0'));
    EXPECT_EQ(load.sizeText, "272");
    char crc[8];
    std::snprintf(crc, sizeof crc, "%04X", crcPadded(bin, 0x8000));
    EXPECT_EQ(load.crcText, crc);
}

TEST(ImageLoader, SizeLimitIsTheModelsFlash) {
    TempDir dir;
    for (auto [size, accepted] : {std::pair{0x10000u, true}, {0x10001u, false}}) {
        dir.write("fw.bin", std::string(size, '\0'));
        const ImageFileLoad load = LoadImageFile(dir.file("fw.bin"), 0x10000);
        EXPECT_EQ(load.outcome == ImageLoadOutcome::Loaded, accepted) << size;
        if (!accepted) {
            EXPECT_EQ(load.error, "File size more than 10000");
            EXPECT_TRUE(load.imagePath.empty());
        }
    }
}

TEST(ImageLoader, OtherFilesAndMissingFiles) {
    TempDir dir;
    dir.write("notes.txt", "x");
    EXPECT_EQ(LoadImageFile(dir.file("notes.txt"), 0x10000).outcome,
              ImageLoadOutcome::NotAnImage);
    const ImageFileLoad missing = LoadImageFile(dir.file("none.bin"), 0x10000);
    EXPECT_EQ(missing.outcome, ImageLoadOutcome::Refused);
    EXPECT_EQ(missing.error, "File : " + dir.file("none.bin") + " could not be opened!!!");
}
