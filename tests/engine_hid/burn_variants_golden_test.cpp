#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "app/globals.h"
#include "app/registry_settings.h"
#include "engine_hid/hid_workers.h"
#include "link/hid_device.h"
#include "support/exchange_log.h"
#include "support/golden_file.h"
#include "support/information_settings.h"
#include "support/simulated_burn.h"

namespace {

void SerialAt(uint32_t location, uint32_t address) {
    g_bSerialEnable = 1;
    g_nSerialLocation = location;
    g_dwSerialAddr = address;
    g_bSerialAutoInc = 1;
    RegSaveLastSn(0x1234);
    g_nLastSerial = 0x1234;
}

void InfoOn(SimulatedBurn& bench) {
    g_bInfoBlockEnable = 1;
    g_nRdpLevel = 1;
    g_nPcropType = 0;
    g_dwProtectAddr = 0x3000;
    g_wProtectMask = 0x0003;
    bench.adapter.site(0).write(0x1FF00000, std::vector<uint8_t>(16, 0x11));
    bench.adapter.site(2).write(0x1FF00000, std::vector<uint8_t>(16, 0x33));
}

// A parameter file of three words in the program's Data folder.
void ParametersOn(SimulatedBurn& bench) {
    g_bParamEnable = 1;
    g_strExeDir = bench.folder.path().toStdString() + "/";
    g_strParam = "board.data";
    std::filesystem::create_directories(g_strExeDir + "Data");
    std::ofstream(g_strExeDir + "Data/board.data") << "0000 44332211\n0004 88776655\n01FC 0A0B0C0D\n";
}

// Each further burn's whole exchange with the adapter, with the pause before every command,
// against a reviewed log. Sites 1 and 3 hold targets, so each log shows a found and an empty site.
TEST(BurnVariantsGolden, EachRunMatchesItsReviewedLog) {
    struct Case {
        const char* file;
        const char* what;
        void (*worker)(WorkerPage&);
        std::function<void(SimulatedBurn&)> setUp;
    };
    const auto none = [](SimulatedBurn&) {};
    const std::vector<Case> cases = {
        {"site-old.log", "older burn on firmware V010, serial number in the image at 0x10", SiteProgramThreadOld,
         [](SimulatedBurn&) { SerialAt(0, 0x10); }},
        {"site-serial.log", "site by site, serial number in the information area's second page at 0x20",
         SiteProgramSerialThread, [](SimulatedBurn&) { SerialAt(1, 0x20); }},
        {"site-info.log", "site by site, information words, boot data, parameter data with the serial number at 0x10",
         SiteProgramInfoThread,
         [](SimulatedBurn& b) {
             InfoOn(b);
             g_bBootDataEnable = 1;
             ParametersOn(b);
             SerialAt(0, 0x10);
         }},
        {"scan-info.log", "scan first, information words of the protect address", ScanProgramInfoThread, InfoOn},
        {"scan-info-b.log", "scan first, powered off per pass, information words", ScanProgramInfoThreadB, InfoOn},
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
