#include <gtest/gtest.h>

#include <functional>

#include "core/globals.h"
#include "engine_hid/hid_workers.h"
#include "link/hid_device.h"
#include "support/exchange_log.h"
#include "support/golden_file.h"
#include "support/information_settings.h"
#include "support/simulated_burn.h"

namespace {

// Option words on, and parts with their own first words.
void InfoOn(SimulatedBurn& bench, uint16_t mask) {
    g_bInfoBlockEnable = g_nRdpLevel = 1;
    g_nPcropType = 0;
    g_dwProtectAddr = 0x3000;
    g_wProtectMask = mask;
    bench.adapter.site(0).write(0x1FF00000, std::vector<uint8_t>(16, 0x11));
    bench.adapter.site(2).write(0x1FF00000, std::vector<uint8_t>(16, 0x33));
}

// Each worker's whole exchange with the adapter, with the pause before every command, against
// a reviewed log: a dropped, moved or changed step, argument or pause shows as a difference.
// Sites 1 and 3 hold targets, so each log shows both a found and an empty site.
TEST(ExchangeGolden, EachRunMatchesItsReviewedLog) {
    struct Case {
        const char* file;
        const char* what;
        void (*worker)(WorkerPage&);
        std::function<void(SimulatedBurn&)> setUp;
    };
    const auto info = [](SimulatedBurn& b) { InfoOn(b, 0x0003); };
    const auto none = [](SimulatedBurn&) {};
    const std::vector<Case> cases = {
        {"burn-v006.log", "burn, firmware V006, serial number in the image at 0x10", SiteProgramThread,
         [](SimulatedBurn& b) { b.adapter.setFirmwareVersion("V006"), b.numberSerials(0, 0x10, 0x1234); }},
        {"burn-v007.log", "burn, firmware V007, serial number past the image at 0x8000", SiteProgramThread,
         [](SimulatedBurn& b) { b.adapter.setFirmwareVersion("V007"), b.numberSerials(0, 0x8000, 0x1234); }},
        {"burn-v010.log", "burn, firmware V010, serial number in the information area at 0x1FF00610", SiteProgramThread,
         [](SimulatedBurn& b) { b.numberSerials(1, 0x10, 0x1234); }},
        {"verify.log", "verify only, both parts holding the image", SiteVerifyThread,
         [](SimulatedBurn& b) {
             for (int site : {0, 2}) b.preload(site, PatternImage(100));
         }},
        {"info-block.log", "information block with the option words, parts with their own first words",
         ProgramInfoBlockThread, [](SimulatedBurn& b) { InfoOn(b, 0); }},
        {"site-old.log", "older burn on firmware V010, serial number in the image at 0x10", SiteProgramThreadOld,
         [](SimulatedBurn& b) { b.numberSerials(0, 0x10, 0x1234); }},
        {"site-serial.log", "site by site, serial number in the information area's second page at 0x20",
         SiteProgramSerialThread, [](SimulatedBurn& b) { b.numberSerials(1, 0x20, 0x1234); }},
        {"site-info.log", "site by site, information words, boot data, parameter data with the serial number at 0x10",
         SiteProgramInfoThread,
         [](SimulatedBurn& b) {
             InfoOn(b, 0x0003);
             g_bBootDataEnable = 1;
             b.useParameterFile("board.data", "0000 44332211\n0004 88776655\n01FC 0A0B0C0D\n");
             b.numberSerials(0, 0x10, 0x1234);
         }},
        {"scan-info.log", "scan first, information words of the protect address", ScanProgramInfoThread, info},
        {"scan-info-b.log", "scan first, powered off per pass, information words", ScanProgramInfoThreadB, info},
        {"scan.log", "scan first", ScanProgramThread, none},
        {"scan-b.log", "scan first, 1 KB page erases", ScanProgramThreadB, none},
        {"scan-no-erase.log", "scan first, erase inside the scan", ScanProgramNoEraseThread, none},
        {"one-pass.log", "one pass, 2 KB page erases", ScanOnePassThread, none},
        {"one-pass-b.log", "one pass, chip erase twice", ScanOnePassThreadB, none},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        InformationSettingsKept restore;
        SimulatedBurn bench;
        bench.populate({0, 2});
        bench.adapter.setFirmwareSubVersion("SUB12345");
        c.setUp(bench);
        g_HidFeatureOut.fill(0);  // what earlier runs left in the report's unused bytes shows on the wire
        bench.run(c.worker, PatternImage(100));
        EXPECT_EQ(bench.counters(), (Counters{2, 2, 0}));
        ExpectGolden("engine_hid", c.file,
                     std::string("# ") + c.what + "\n" +
                         RenderExchanges(bench.adapter.exchanges(), bench.adapter.pauseSinceLastExchange()));
    }
}

}  // namespace
