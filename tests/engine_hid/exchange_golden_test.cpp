#include <gtest/gtest.h>

#include <functional>

#include "app/globals.h"
#include "app/registry_settings.h"
#include "engine_hid/hid_workers.h"
#include "support/exchange_log.h"
#include "support/golden_file.h"
#include "support/simulated_burn.h"

namespace {

// Each worker's whole exchange with the adapter, with the pause before every command, against
// a reviewed log: a dropped, moved or changed step, argument or pause shows as a difference.
// Sites 1 and 3 hold targets, so the logs show both a found and an empty site.
TEST(ExchangeGolden, EachRunMatchesItsReviewedLog) {
    struct Case {
        const char* file;
        const char* what;
        void (*worker)(WorkerPage&);
        std::function<void(SimulatedBurn&)> setUp;
        Counters counted;
    };
    const auto serial = [](uint32_t location, uint32_t address) {
        g_bSerialEnable = 1;
        g_nSerialLocation = location;
        g_dwSerialAddr = address;
        g_bSerialAutoInc = 1;
        RegSaveLastSn(0x1234);
        g_nLastSerial = 0x1234;
    };
    const std::vector<Case> cases = {
        {"burn-v006.log", "burn, firmware V006, serial number in the image at 0x10", SiteProgramThread,
         [&](SimulatedBurn& b) { b.adapter.setFirmwareVersion("V006"), serial(0, 0x10); }, {2, 2, 0}},
        {"burn-v007.log", "burn, firmware V007, serial number past the image at 0x8000", SiteProgramThread,
         [&](SimulatedBurn& b) { b.adapter.setFirmwareVersion("V007"), serial(0, 0x8000); }, {2, 2, 0}},
        {"burn-v010.log", "burn, firmware V010, serial number in the information area at 0x1FF00610", SiteProgramThread,
         [&](SimulatedBurn&) { serial(1, 0x10); }, {2, 2, 0}},
        {"verify.log", "verify only, both parts holding the image", SiteVerifyThread,
         [](SimulatedBurn& b) {
             for (int site : {0, 2}) b.preload(site, PatternImage(100));
         },
         {2, 2, 0}},
        {"info-block.log", "information block with the option words, parts with their own first words", ProgramInfoBlockThread,
         [](SimulatedBurn& b) {
             g_bInfoBlockEnable = 1;
             g_nRdpLevel = 1;
             g_nPcropType = 0;
             g_dwProtectAddr = 0x3000;
             b.adapter.site(0).write(0x1FF00000, std::vector<uint8_t>(16, 0x11));
             b.adapter.site(2).write(0x1FF00000, std::vector<uint8_t>(16, 0x33));
         },
         {2, 2, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        SimulatedBurn bench;
        bench.populate({0, 2});
        bench.adapter.setFirmwareSubVersion("SUB12345");
        c.setUp(bench);
        bench.run(c.worker, PatternImage(100));
        g_bInfoBlockEnable = 0;
        EXPECT_EQ(bench.counters(), c.counted);
        ExpectGolden("engine_hid", c.file,
                     std::string("# ") + c.what + "\n" + RenderExchanges(bench.adapter.exchanges(), bench.adapter.pauseSinceLastExchange()));
    }
}

}  // namespace
