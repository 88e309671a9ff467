#include <gtest/gtest.h>

#include <algorithm>

#include "app/globals.h"
#include "app/ini_settings.h"
#include "engine_com/gang_settings.h"
#include "engine_com/gang_workers.h"
#include "engine_hid/site_steps.h"
#include "support/simulated_gang.h"

namespace {

using engine_hid::ctl::kIndicator1;
using engine_hid::ctl::kSiteIcon1;
constexpr uint32_t kOptionAddr = 0x3FF8;  // chip mode 2: the last eight bytes of 16 KB
constexpr const char* kTimeoutText = "Wait COM port timeout, pls check MCU and COM port status!";

std::vector<uint8_t> FlashBelow(const sim::GangBoard& board, int socket, size_t end) {
    const auto flash = board.target(socket)->flash;
    return {flash.begin(), flash.begin() + static_cast<ptrdiff_t>(end)};
}

// The image followed by 0xFF up to the option offset: what a programmed target holds there.
std::vector<uint8_t> Programmed(const std::vector<uint8_t>& image, size_t end) {
    std::vector<uint8_t> bytes(end, 0xFF);
    std::copy(image.begin(), image.end(), bytes.begin());
    return bytes;
}

std::vector<std::string> Messages(const SimulatedGang& gang) {
    std::vector<std::string> texts;
    for (const auto& m : gang.bench.services.messages()) texts.push_back(m.text);
    for (const auto& m : gang.bench.page.messages) texts.push_back(m);
    return texts;
}

std::array<bool, 8> Leds(std::initializer_list<int> lit) {
    std::array<bool, 8> leds{};
    for (int n : lit) leds[n - 1] = true;
    return leds;
}

}  // namespace

TEST(GangProgram, FourTargetsGetTheImageTheirOptionBlockAndPassLeds) {
    SimulatedGang gang;
    const std::vector<uint8_t> image = PatternImage(1000);
    gang.run(GangProgramThread, image);

    ExpectGolden("engine_com", "program-four-sockets.log", gang.exchangeLog());
    for (int socket = 0; socket < 4; ++socket) {
        EXPECT_EQ(FlashBelow(gang.board, socket, kOptionAddr), Programmed(image, kOptionAddr)) << socket;
        // Image bytes past its end are 0xFF: byte 0 ANDed with 0xAA, no serial, the mode's tail.
        EXPECT_EQ(gang.board.target(socket)->optionBlock(kOptionAddr),
                  (std::array<uint8_t, 8>{0xAA, 0, 0, 0, 0xFF, 0x0E, 0, 0}));
        EXPECT_EQ(gang.bench.page.icons[kSiteIcon1 + socket], 150);
        EXPECT_EQ(gang.bench.page.icons[kIndicator1 + socket], engine_hid::icon::kTargetPresent[socket]);
    }
    const sim::BoardState board = gang.board.state();
    EXPECT_EQ(board.leds, Leds({2, 4, 6, 8}));
    EXPECT_FALSE(board.power);
    EXPECT_EQ(board.switches, (std::array<bool, 4>{}));
    EXPECT_EQ(gang.bench.storedCounters(), (Counters{4, 4, 0}));
    EXPECT_EQ(gang.bench.page.texts[engine_hid::ctl::kYield], "100.00%");
    EXPECT_TRUE(Messages(gang).empty());
    EXPECT_EQ(gang.bench.services.tones(), (std::vector<RecordingServices::Tone>{{784, 900}}));
}
