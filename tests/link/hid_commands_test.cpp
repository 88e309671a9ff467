#include "link/hid_commands.h"

#include <functional>
#include <vector>

#include "support/simulated_adapter_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Slice(const Bytes& report, std::size_t from, std::size_t to) { return Bytes(report.begin() + from, report.begin() + to); }

uint32_t WordAt(const Bytes& r, int at) { return r[at] | r[at + 1] << 8 | r[at + 2] << 16 | uint32_t(r[at + 3]) << 24; }

}  // namespace

using HidCommands = SimulatedAdapterTest;

// Every command's report as the adapter receives it: bytes 0-2 cleared, byte 3 the command, its
// arguments, and every byte it does not set still holding what the command before left there.
TEST_F(HidCommands, EveryReportCarriesItsBytesAndTheStaleOnes) {
    g_HidFeatureOut.fill(0xEE);
    uint8_t out[32];
    const std::vector<std::pair<std::function<int()>, Bytes>> rows = {  // the command, bytes 3 to 11
        {[] { return HidSelectSocket(2); }, {0x3A, 2, 0, 0, 0, 0xEE, 0xEE, 0xEE, 0xEE}},
        {[] { return HidSetSocketPower(1); }, {0x39, 1, 0, 0, 0, 0xEE, 0xEE, 0xEE, 0xEE}},
        {[] { return HidWriteWord(0x1FF00600, 0x11223344); }, {0x06, 0x00, 0x06, 0xF0, 0x1F, 0x44, 0x33, 0x22, 0x11}},
        {[] { return HidCmdPrepare(); }, {0x03, 0x00, 0x06, 0xF0, 0x1F, 0x44, 0x33, 0x22, 0x11}},
        {[] { return int(HidConnectTarget() == kConnectOk); }, {0x00, 0x00, 0x06, 0xF0, 0x1F, 0x44, 0x33, 0x22, 0x11}},
        {[] { return int(HidConnectTargetAlt() == kConnectOk); }, {0x3D, 0x00, 0x06, 0xF0, 0x1F, 0x44, 0x33, 0x22, 0x11}},
        {[] { return HidCmdEraseAddr(0x10000000); }, {0x26, 0x00, 0x00, 0x00, 0x10, 0x44, 0x33, 0x22, 0x11}},
        {[] { return HidCmdErase27(); }, {0x27, 0x00, 0x00, 0x00, 0x10, 0x44, 0x33, 0x22, 0x11}},
        {[] { return HidCmdEraseInfo(0x1FF00400); }, {0x28, 0x00, 0x04, 0xF0, 0x1F, 0x44, 0x33, 0x22, 0x11}},
        {[] { return HidWriteWord2(0x4, 0x40014000); }, {0x06, 0x04, 0, 0, 0, 0x00, 0x40, 0x01, 0x40}},
        {[] { return HidWriteWord04(0x8, 0xF0); }, {0x04, 0x08, 0, 0, 0, 0xF0, 0, 0, 0}},
        {[&] { return HidReadWord05(0xC, out); }, {0x05, 0x0C, 0, 0, 0, 0xF0, 0, 0, 0}},
        {[&] { return HidReadWord(0x40080004, out); }, {0x07, 0x04, 0, 0x08, 0x40, 0xF0, 0, 0, 0}},
        {[&] { return HidReadBlock(0x10000020, out); }, {0x0B, 0x20, 0, 0, 0x10, 0xF0, 0, 0, 0}},
        {[&] { return HidReadBlock2(0x1FF00060, out); }, {0x0B, 0x60, 0, 0xF0, 0x1F, 0xF0, 0, 0, 0}},
        {[&] { return HidGetFirmwareVersion(out); }, {0x0E, 0x60, 0, 0xF0, 0x1F, 0xF0, 0, 0, 0}},
        {[&] { return HidGetFirmwareSubVersion(out); }, {0x0F, 0x60, 0, 0xF0, 0x1F, 0xF0, 0, 0, 0}},
        {[] { return HidCmdQuery22(); }, {0x22, 0x60, 0, 0xF0, 0x1F, 0xF0, 0, 0, 0}},
        {[] { return HidProgramPage(0x10000800); }, {0x2B, 0, 0x08, 0, 0x10, 0xF0, 0, 0, 0}},
        {[] { return HidSfCmd31(); }, {0x31, 0, 0x08, 0, 0x10, 0xF0, 0, 0, 0}},
        {[&] { return HidSfReadStatus(out); }, {0x37, 0, 0x08, 0, 0x10, 0xF0, 0, 0, 0}},
        {[] { return HidSfReadPage(0x100); }, {0x32, 0, 0x01, 0, 0, 0xF0, 0, 0, 0}},
        {[] { return HidSfProgramPage(0x12); }, {0x34, 0x12, 0, 0, 0, 0xF0, 0, 0, 0}},
        {[] { return HidSelectSocket(3); }, {0x3A, 3, 0, 0, 0, 0xF0, 0, 0, 0}},
    };
    for (const auto& [send, wire] : rows) {
        SCOPED_TRACE(testing::PrintToString(wire));
        adapter.clearLog();
        EXPECT_EQ(send(), 1);
        const auto sent = adapter.sentReports();
        ASSERT_EQ(sent.size(), 1u);
        ASSERT_EQ(sent[0].size(), g_nHidFeatureLen);
        EXPECT_EQ(Slice(sent[0], 0, 3), Bytes(3, 0));
        EXPECT_EQ(Slice(sent[0], 3, 12), wire);
        // No command sets bytes 12 on: they still carry the first fill.
        EXPECT_EQ(Slice(sent[0], 12, sent[0].size()), Bytes(sent[0].size() - 12, 0xEE));
    }
}

TEST_F(HidCommands, ConnectTellsTargetFromNoTargetFromFailedTransfer) {
    powerSite(0);
    for (const auto& [id, expected] : {std::pair{0x4D470001u, kConnectOk}, {1u, kConnectOk}, {0u, kConnectNoTarget},
                                      {0xFFFFFFFFu, kConnectNoTarget}}) {
        adapter.site(0).setTargetId(id);
        EXPECT_EQ(HidConnectTarget(), expected) << std::hex << id;
        EXPECT_EQ(HidConnectTargetAlt(), expected) << std::hex << id;
    }
    adapter.site(0).setTargetId(0x12345678);
    adapter.failSetAt(adapter.setCount() + 1);
    EXPECT_EQ(HidConnectTarget(), kConnectTransferFailed);
    adapter.failGetAt(adapter.getCount() + 1);
    EXPECT_EQ(HidConnectTargetAlt(), kConnectTransferFailed);
}

// Reads are worth what a part holds only from a target a connect found and no power-off has
// dropped since; a select that failed leaves the adapter on some site, not known which.
TEST_F(HidCommands, ATargetIsReachedFromItsConnectToItsPowerOff) {
    powerSite(1);
    powerSite(2);
    const std::vector<std::pair<std::function<void()>, bool>> steps = {  // a step, then whether reached
        {[] { HidSelectSocket(1); }, true},
        {[&] { adapter.failSetAt(adapter.setCount() + 1); HidSetSocketPower(0); }, true},  // never carried out
        {[] { HidSetSocketPower(0); }, false},
        {[] { HidSetSocketPower(1); }, false},
        {[] { HidSelectSocket(2); }, true},
        {[&] { adapter.failSetAt(adapter.setCount() + 1); HidSelectSocket(1); }, false},
        {[] { HidSelectSocket(2); }, true},
        {[&] { adapter.site(2).removeTarget(); HidConnectTarget(); }, false},
    };
    for (size_t i = 0; i < steps.size(); ++i) {
        steps[i].first();
        EXPECT_EQ(HidSelectedTargetReached(), steps[i].second) << "step " << i + 1;
    }
}

TEST_F(HidCommands, PageBufferLoadSendsWholeReportsPaddedWithFF) {
    for (const std::size_t length : {40, 0, 32, 2048}) {
        SCOPED_TRACE(length);
        Bytes data(length);
        for (std::size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i + 1);
        for (auto [load, command] : {std::pair{&HidLoadPageBuffer, 0x29}, {&HidSfLoadPageBuffer, 0x33}}) {
            adapter.clearLog();
            EXPECT_EQ(load(0, data), 1);
            const auto sent = adapter.sentReports();
            ASSERT_EQ(sent.size(), (length + 31) / 32);
            for (std::size_t r = 0; r < sent.size(); ++r) {
                const uint32_t offset = uint32_t(r * 32);
                EXPECT_EQ(sent[r][3], command);
                EXPECT_EQ(WordAt(sent[r], 4), offset);
                for (std::size_t j = 0; j < 32; ++j)
                    EXPECT_EQ(sent[r][8 + j], offset + j < length ? data[offset + j] : 0xFF);
            }
        }
    }
}

TEST_F(HidCommands, MultiReportCommandsAskEachPartAndStopAtTheFirstFailure) {
    powerSite(1);
    const Bytes image = {0x10, 0x20, 0x30, 0x40};
    adapter.site(1).write(0x10000100, image);
    adapter.clearLog();
    uint8_t bytes[4] = {};
    EXPECT_EQ(HidReadBytes(0x10000100, bytes), 1);
    EXPECT_EQ(Bytes(bytes, bytes + 4), image);
    const auto sent = adapter.sentReports();
    ASSERT_EQ(sent.size(), 4u);
    for (uint8_t i = 0; i < 4; ++i) EXPECT_EQ(Slice(sent[i], 3, 8), (Bytes{0x07, i, 0x01, 0, 0x10}));

    uint8_t partial[4] = {};
    adapter.failGetAt(adapter.getCount() + 3);
    int sets = adapter.setCount();
    EXPECT_EQ(HidReadBytes(0x10000100, partial), 0);
    EXPECT_EQ(adapter.setCount() - sets, 3);
    EXPECT_EQ(Bytes(partial, partial + 4), (Bytes{0x10, 0x20, 0, 0}));

    adapter.failSetAt(adapter.setCount() + 2);
    sets = adapter.setCount();
    EXPECT_EQ(HidLoadPageBuffer(0, Bytes(128, 0)), 0);
    EXPECT_EQ(adapter.setCount() - sets, 2);

    // The serial-flash page buffer comes back 16 bytes a report.
    Bytes page(256);
    for (std::size_t i = 0; i < page.size(); ++i) page[i] = uint8_t(255 - i);
    adapter.writeSerialFlash(0x100 * 256, page);
    ASSERT_EQ(HidSfReadPage(0x100), 1);
    adapter.clearLog();
    Bytes read(256);
    ASSERT_EQ(HidSfReadPageBuffer(0x1234, read), 1);
    EXPECT_EQ(read, page);
    const auto reads = adapter.sentReports();
    ASSERT_EQ(reads.size(), 16u);
    for (std::size_t r = 0; r < reads.size(); ++r) EXPECT_EQ(Slice(reads[r], 3, 5), (Bytes{0x35, uint8_t(r * 16)}));
}

TEST_F(HidCommands, QueriesCopyNoMoreThanAskedAndNothingOnFailure) {
    adapter.setFirmwareSubVersion("12345678");
    Bytes version(20, 0xAA);
    ASSERT_EQ(HidGetFirmwareVersion(version), 1);
    EXPECT_EQ(Bytes(version.begin(), version.begin() + 5), (Bytes{'V', '0', '1', '0', 0xAA}));
    ASSERT_EQ(HidGetFirmwareSubVersion(version), 1);
    EXPECT_EQ(Bytes(version.begin(), version.begin() + 9), (Bytes{'1', '2', '3', '4', '5', '6', '7', '8', 0xAA}));

    // A destination smaller than the answer gets only what it holds (ASan checks the bound).
    Bytes two(2);
    EXPECT_EQ(HidReadWord(0x10000000, two), 1);
    Bytes twenty(20);
    EXPECT_EQ(HidSfReadPageBuffer(0, twenty), 1);
    EXPECT_EQ(adapter.sentReports().back()[4], 16);

    // A failed or short answer copies nothing, and no byte of the answer before it survives.
    powerSite(0);
    adapter.site(0).write(0x10000000, Bytes(32, 0x5A));
    Bytes earlier(32);
    ASSERT_EQ(HidReadBlock(0x10000000, earlier), 1);
    for (const auto fault : {&sim::Adapter::failGetAt, &sim::Adapter::shortenGetAt}) {
        Bytes block(32, 0x77);
        (adapter.*fault)(adapter.getCount() + 1);
        EXPECT_EQ(HidReadBlock(0x10000020, block), 0);
        EXPECT_EQ(block, Bytes(32, 0x77));
        EXPECT_EQ(g_HidFeatureIn[32], 0);  // the earlier answer's last byte
        adapter.site(0).setTargetId(0x12345678);
        (adapter.*fault)(adapter.getCount() + 1);
        EXPECT_EQ(HidConnectTarget(), kConnectTransferFailed);
    }
}

TEST_F(HidCommands, FlashEnableWriteNeedsExactlyTheThreeEnableBits) {
    powerSite(0);
    struct Row {
        const char* name;
        std::function<void()> setUp;
        bool expected;
        bool writes;  // a word write was attempted
    };
    const std::vector<Row> rows = {
        {"plain", [] {}, true, true},
        {"bit 3 stuck", [&] { adapter.site(0).stickBits(0x40080004, 0x08, 0x08); }, false, true},
        {"first read fails", [&] { adapter.failGetAt(adapter.getCount() + 2); }, false, false},
        {"write fails", [&] { adapter.failSetAt(adapter.setCount() + 5); }, false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        adapter.site(0).write(0x40080004, Bytes{0, 0, 0, 0});
        row.setUp();
        adapter.clearLog();
        EXPECT_EQ(FlashEnableWrite(), row.expected);
        const auto log = adapter.exchanges();
        EXPECT_EQ(std::any_of(log.begin(), log.end(),
                              [](const sim::Exchange& e) { return e.kind == sim::Exchange::Kind::Set && e.report[3] == 0x06; }),
                  row.writes);
    }
    adapter.site(0).stickBits(0x40080004, 0, 0);
    // The other bits of the control register are kept when the enable bits are set.
    adapter.site(0).write(0x40080004, Bytes{0x00, 0x12, 0x00, 0x80});
    EXPECT_TRUE(FlashEnableWrite());
    EXPECT_EQ(adapter.site(0).word(0x40080004), 0x80001207u);
}
