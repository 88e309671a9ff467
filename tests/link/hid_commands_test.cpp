#include "link/hid_commands.h"

#include <functional>
#include <vector>

#include "support/simulated_adapter_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes head(const Bytes& report, std::size_t count = 12) { return Bytes(report.begin(), report.begin() + count); }

}  // namespace

using HidCommands = SimulatedAdapterTest;

// Every command's report as the adapter receives it: bytes 0-2 cleared, byte 3 the command, its
// arguments, and every byte it does not set still holding what the command before left there.
TEST_F(HidCommands, EveryReportCarriesItsBytesAndTheStaleOnes) {
    g_HidFeatureOut.fill(0xEE);
    uint8_t out[32];
    struct Row {
        const char* name;
        std::function<int()> send;
        Bytes head;  // bytes 0 to 11
    };
    const std::vector<Row> rows = {
        {"select", [] { return HidSelectSocket(2); }, {0, 0, 0, 0x3A, 2, 0, 0, 0, 0xEE, 0xEE, 0xEE, 0xEE}},
        {"power", [] { return HidSetSocketPower(1); }, {0, 0, 0, 0x39, 1, 0, 0, 0, 0xEE, 0xEE, 0xEE, 0xEE}},
        {"write word", [] { return HidWriteWord(0x1FF00600, 0x11223344); },
         {0, 0, 0, 0x06, 0x00, 0x06, 0xF0, 0x1F, 0x44, 0x33, 0x22, 0x11}},
        {"prepare", [] { return HidCmdPrepare(); }, {0, 0, 0, 0x03, 0x00, 0x06, 0xF0, 0x1F, 0x44, 0x33, 0x22, 0x11}},
        {"connect", [] { return HidConnectTarget() == kConnectOk ? 1 : 0; },
         {0, 0, 0, 0x00, 0x00, 0x06, 0xF0, 0x1F, 0x44, 0x33, 0x22, 0x11}},
        {"connect alt", [] { return HidConnectTargetAlt() == kConnectOk ? 1 : 0; },
         {0, 0, 0, 0x3D, 0x00, 0x06, 0xF0, 0x1F, 0x44, 0x33, 0x22, 0x11}},
        {"erase addr", [] { return HidCmdEraseAddr(0x10000000); },
         {0, 0, 0, 0x26, 0x00, 0x00, 0x00, 0x10, 0x44, 0x33, 0x22, 0x11}},
        {"erase 27", [] { return HidCmdErase27(); }, {0, 0, 0, 0x27, 0x00, 0x00, 0x00, 0x10, 0x44, 0x33, 0x22, 0x11}},
        {"erase info", [] { return HidCmdEraseInfo(0x1FF00400); },
         {0, 0, 0, 0x28, 0x00, 0x04, 0xF0, 0x1F, 0x44, 0x33, 0x22, 0x11}},
        {"write word 2", [] { return HidWriteWord2(0x4, 0x40014000); },
         {0, 0, 0, 0x06, 0x04, 0, 0, 0, 0x00, 0x40, 0x01, 0x40}},
        {"write 04", [] { return HidWriteWord04(0x8, 0xF0); }, {0, 0, 0, 0x04, 0x08, 0, 0, 0, 0xF0, 0, 0, 0}},
        {"read 05", [&] { return HidReadWord05(0xC, out); }, {0, 0, 0, 0x05, 0x0C, 0, 0, 0, 0xF0, 0, 0, 0}},
        {"read word", [&] { return HidReadWord(0x40080004, out); }, {0, 0, 0, 0x07, 0x04, 0, 0x08, 0x40, 0xF0, 0, 0, 0}},
        {"read block", [&] { return HidReadBlock(0x10000020, out); },
         {0, 0, 0, 0x0B, 0x20, 0, 0, 0x10, 0xF0, 0, 0, 0}},
        {"read block 2", [&] { return HidReadBlock2(0x1FF00060, out); },
         {0, 0, 0, 0x0B, 0x60, 0, 0xF0, 0x1F, 0xF0, 0, 0, 0}},
        {"version", [&] { return HidGetFirmwareVersion(out); }, {0, 0, 0, 0x0E, 0x60, 0, 0xF0, 0x1F, 0xF0, 0, 0, 0}},
        {"sub version", [&] { return HidGetFirmwareSubVersion(out); },
         {0, 0, 0, 0x0F, 0x60, 0, 0xF0, 0x1F, 0xF0, 0, 0, 0}},
        {"query 22", [] { return HidCmdQuery22(); }, {0, 0, 0, 0x22, 0x60, 0, 0xF0, 0x1F, 0xF0, 0, 0, 0}},
        {"program page", [] { return HidProgramPage(0x10000800); }, {0, 0, 0, 0x2B, 0, 0x08, 0, 0x10, 0xF0, 0, 0, 0}},
        {"sf erase", [] { return HidSfCmd31(); }, {0, 0, 0, 0x31, 0, 0x08, 0, 0x10, 0xF0, 0, 0, 0}},
        {"sf status", [&] { return HidSfReadStatus(out); }, {0, 0, 0, 0x37, 0, 0x08, 0, 0x10, 0xF0, 0, 0, 0}},
        {"sf read page", [] { return HidSfReadPage(0x100); }, {0, 0, 0, 0x32, 0, 0x01, 0, 0, 0xF0, 0, 0, 0}},
        {"sf program page", [] { return HidSfProgramPage(0x12); }, {0, 0, 0, 0x34, 0x12, 0, 0, 0, 0xF0, 0, 0, 0}},
        {"select again", [] { return HidSelectSocket(3); }, {0, 0, 0, 0x3A, 3, 0, 0, 0, 0xF0, 0, 0, 0}},
    };
    Bytes previous(g_nHidFeatureLen, 0xEE);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        adapter.clearLog();
        EXPECT_EQ(row.send(), 1);
        const auto sent = adapter.sentReports();
        ASSERT_EQ(sent.size(), 1u);
        ASSERT_EQ(sent[0].size(), g_nHidFeatureLen);
        EXPECT_EQ(head(sent[0]), row.head);
        // Bytes 12 on are never set by these commands: they still carry the first fill.
        EXPECT_EQ(Bytes(sent[0].begin() + 12, sent[0].end()), Bytes(previous.begin() + 12, previous.end()));
        previous = sent[0];
    }
}

TEST_F(HidCommands, ConnectTellsTargetFromNoTargetFromFailedTransfer) {
    powerSite(0);
    struct Row {
        uint32_t id;
        int expected;
    };
    for (const Row row : {Row{0x4D470001, kConnectOk}, Row{1, kConnectOk}, Row{0, kConnectNoTarget},
                          Row{0xFFFFFFFF, kConnectNoTarget}}) {
        adapter.site(0).setTargetId(row.id);
        EXPECT_EQ(HidConnectTarget(), row.expected) << std::hex << row.id;
        EXPECT_EQ(HidConnectTargetAlt(), row.expected) << std::hex << row.id;
    }
    adapter.site(0).setTargetId(0x12345678);
    adapter.failSetAt(adapter.setCount() + 1);
    EXPECT_EQ(HidConnectTarget(), kConnectTransferFailed);
    adapter.failGetAt(adapter.getCount() + 1);
    EXPECT_EQ(HidConnectTargetAlt(), kConnectTransferFailed);
    adapter.site(0).removeTarget();
    EXPECT_EQ(HidConnectTarget(), kConnectNoTarget);
}

TEST_F(HidCommands, PageBufferLoadSendsWholeReportsPaddedWithFF) {
    struct Row {
        std::size_t length;
        std::vector<uint32_t> offsets;
    };
    for (const Row& row : {Row{40, {0, 32}}, Row{0, {}}, Row{32, {0}}, Row{2048, {}}}) {
        SCOPED_TRACE(row.length);
        Bytes data(row.length);
        for (std::size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i + 1);
        for (auto [load, command] : {std::pair{&HidLoadPageBuffer, 0x29}, {&HidSfLoadPageBuffer, 0x33}}) {
            adapter.clearLog();
            EXPECT_EQ(load(0, data), 1);
            const auto sent = adapter.sentReports();
            ASSERT_EQ(sent.size(), (row.length + 31) / 32);
            for (std::size_t r = 0; r < sent.size(); ++r) {
                EXPECT_EQ(sent[r][3], command);
                const uint32_t offset = uint32_t(r * 32);
                if (!row.offsets.empty()) {
                    EXPECT_EQ(offset, row.offsets[r]);
                }
                EXPECT_EQ(Bytes(sent[r].begin() + 4, sent[r].begin() + 8), (Bytes{uint8_t(offset), uint8_t(offset >> 8), 0, 0}));
                for (std::size_t j = 0; j < 32; ++j)
                    EXPECT_EQ(sent[r][8 + j], offset + j < row.length ? data[offset + j] : 0xFF);
            }
        }
    }
    // What the adapter's buffer holds after a 40-byte load.
    Bytes forty(40, 0x5A);
    ASSERT_EQ(HidLoadPageBuffer(0, forty), 1);
    const Bytes buffer = adapter.pageBuffer();
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 40), forty);
    EXPECT_EQ(Bytes(buffer.begin() + 40, buffer.begin() + 64), Bytes(24, 0xFF));
}

TEST_F(HidCommands, MultiReportCommandsStopAtTheFirstFailure) {
    powerSite(1);
    const Bytes image = {0x10, 0x20, 0x30, 0x40};
    adapter.site(1).write(0x10000100, image);

    adapter.clearLog();
    uint8_t bytes[4] = {};
    EXPECT_EQ(HidReadBytes(0x10000100, bytes), 1);
    EXPECT_EQ(Bytes(bytes, bytes + 4), image);
    const auto sent = adapter.sentReports();
    ASSERT_EQ(sent.size(), 4u);
    for (uint8_t i = 0; i < 4; ++i) EXPECT_EQ(head(sent[i], 8), (Bytes{0, 0, 0, 0x07, uint8_t(i), 0x01, 0, 0x10}));

    uint8_t partial[4] = {};
    adapter.failGetAt(adapter.getCount() + 3);
    const int setsBefore = adapter.setCount();
    EXPECT_EQ(HidReadBytes(0x10000100, partial), 0);
    EXPECT_EQ(adapter.setCount() - setsBefore, 3);
    EXPECT_EQ(Bytes(partial, partial + 4), (Bytes{0x10, 0x20, 0, 0}));

    adapter.failSetAt(adapter.setCount() + 2);
    const int setsBeforeLoad = adapter.setCount();
    EXPECT_EQ(HidLoadPageBuffer(0, Bytes(128, 0)), 0);
    EXPECT_EQ(adapter.setCount() - setsBeforeLoad, 2);
}

TEST_F(HidCommands, QueriesCopyNoMoreThanAskedAndNothingOnFailure) {
    adapter.setFirmwareVersion("V007");
    adapter.setFirmwareSubVersion("12345678");
    uint8_t version[20];
    std::fill(std::begin(version), std::end(version), 0xAA);
    ASSERT_EQ(HidGetFirmwareVersion(version), 1);
    EXPECT_EQ(Bytes(version, version + 6), (Bytes{'V', '0', '0', '7', 0xAA, 0xAA}));
    ASSERT_EQ(HidGetFirmwareSubVersion(version), 1);
    EXPECT_EQ(Bytes(version, version + 9), (Bytes{'1', '2', '3', '4', '5', '6', '7', '8', 0xAA}));

    // A destination smaller than the answer gets only what it holds (ASan checks the bound).
    Bytes two(2);
    EXPECT_EQ(HidReadWord(0x10000000, two), 1);
    Bytes twenty(20);
    EXPECT_EQ(HidSfReadPageBuffer(0, twenty), 1);
    EXPECT_EQ(adapter.sentReports().back()[4], 16);

    uint8_t block[32];
    std::fill(std::begin(block), std::end(block), 0x77);
    adapter.failGetAt(adapter.getCount() + 1);
    EXPECT_EQ(HidReadBlock(0x10000000, block), 0);
    EXPECT_EQ(Bytes(block, block + 32), Bytes(32, 0x77));
}

TEST_F(HidCommands, SerialFlashPageBufferIsReadSixteenBytesAtATime) {
    Bytes page(256);
    for (std::size_t i = 0; i < page.size(); ++i) page[i] = uint8_t(255 - i);
    adapter.writeSerialFlash(0x100 * 256, page);
    ASSERT_EQ(HidSfReadPage(0x100), 1);
    adapter.clearLog();
    Bytes read(256);
    ASSERT_EQ(HidSfReadPageBuffer(0x1234, read), 1);
    EXPECT_EQ(read, page);
    const auto sent = adapter.sentReports();
    ASSERT_EQ(sent.size(), 16u);
    for (std::size_t r = 0; r < sent.size(); ++r) {
        EXPECT_EQ(sent[r][3], 0x35);
        EXPECT_EQ(sent[r][4], r * 16);
    }
}

TEST_F(HidCommands, FlashUnlockWritesBothKeysAfterReadingTheControlRegister) {
    powerSite(0);
    struct Row {
        int (*unlock)();
        uint32_t keyRegister;
        uint32_t key1, key2;
    };
    for (const Row row : {Row{&FlashUnlockCtrl, 0x4008000C, 0x5A3C7E19, 0x1D2E4F60},
                          Row{&FlashUnlockOption, 0x40080014, 0x7C6B5A49, 0x3E2D1C0B}}) {
        adapter.clearLog();
        EXPECT_EQ(row.unlock(), 1);
        const auto sent = adapter.sentReports();
        ASSERT_EQ(sent.size(), 3u);
        auto word = [](const Bytes& r, int at) { return uint32_t(r[at] | r[at + 1] << 8 | r[at + 2] << 16 | uint32_t(r[at + 3]) << 24); };
        EXPECT_EQ(sent[0][3], 0x07);
        EXPECT_EQ(word(sent[0], 4), 0x40080004u);
        EXPECT_EQ(sent[1][3], 0x06);
        EXPECT_EQ(word(sent[1], 4), row.keyRegister);
        EXPECT_EQ(word(sent[1], 8), row.key1);
        EXPECT_EQ(word(sent[2], 4), row.keyRegister);
        EXPECT_EQ(word(sent[2], 8), row.key2);
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
        if (row.expected) {
            EXPECT_EQ(adapter.site(0).word(0x40080004), 7u);
        }
    }
    adapter.site(0).stickBits(0x40080004, 0, 0);
    // The other bits of the control register are kept when the enable bits are set.
    adapter.site(0).write(0x40080004, Bytes{0x00, 0x12, 0x00, 0x80});
    EXPECT_TRUE(FlashEnableWrite());
    EXPECT_EQ(adapter.site(0).word(0x40080004), 0x80001207u);
}
