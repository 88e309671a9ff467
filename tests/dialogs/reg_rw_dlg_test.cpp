#include "dialogs/reg_rw_dlg.h"

#include "res/reg_rw_template.h"
#include "support/exchange_log.h"
#include "support/simulated_adapter_fixture.h"
#include "tool_bench.h"

using namespace res;

namespace {

class RegRw : public SimulatedAdapterTest {
protected:
    void SetUp() override {
        SimulatedAdapterTest::SetUp();
        g_bTaskWorking = false;
        adapter.site(2).write(0x1FF00000, std::vector<uint8_t>{0x78, 0x56, 0x34, 0x12});
        adapter.clearLog();
    }
    void TearDown() override {
        g_bTaskWorking = false;
        SimulatedAdapterTest::TearDown();
    }
    void click(int id) { Click(dialog.controls(), id); }
    void chooseSocket(int index) { Choose(dialog.controls(), kIdcRegRwSocket, index); }
    Texts takeMessages() { return TakeMessages(services); }

    RecordingServices services;
    CRegRWDlg dialog;
};

}  // namespace

TEST_F(RegRw, ConnectReadAndWriteOnTheChosenSite) {
    EXPECT_EQ(dialog.controls().text(kIdcRegRwReadAddr), "1FF00000");
    EXPECT_EQ(dialog.controls().text(kIdcRegRwWriteAddr), "4008C000");
    chooseSocket(2);
    click(kIdcRegRwOpenSwd);
    click(kIdcRegRwRead);
    EXPECT_EQ(dialog.controls().text(kIdcRegRwReadValue), "12345678");
    dialog.controls().setText(kIdcRegRwWriteValue, "a5");
    click(kIdcRegRwWrite);
    EXPECT_EQ(RenderExchanges(adapter.exchanges()),
              "   0 3A 00000002\n   0 39 00000001\n   0 00 00000001 ? 4D470003\n   0 03 00000001\n"  // Open SWD
              "   0 3A 00000002\n   0 39 00000001\n   0 07 1FF00000..1FF00003/1 ?\n"                 // Read
              "   0 3A 00000002\n   0 39 00000001\n   0 06 4008C000 000000A5\n");                    // Write
    EXPECT_EQ(adapter.site(2).word(0x4008C000), 0xA5u);
    EXPECT_EQ(takeMessages(), Texts{});
    EXPECT_FALSE(g_bTaskWorking);
}

// Failures are told, a failed read leaves no stale value, and a running task keeps the adapter.
TEST_F(RegRw, FailuresAreReportedAndBusyAdapterIsLeftAlone) {
    chooseSocket(2);
    click(kIdcRegRwOpenSwd);
    click(kIdcRegRwRead);
    ASSERT_EQ(dialog.controls().text(kIdcRegRwReadValue), "12345678");
    takeMessages();
    const struct {
        std::function<void()> fault;
        int button;
        Texts messages;
        bool exchanged;
    } cases[] = {
        {[&] { adapter.failGetAt(adapter.getCount() + 3); }, kIdcRegRwRead, {"Read Error! The adapter did not answer"}, true},
        {[&] { adapter.failSetAt(adapter.setCount() + 3); }, kIdcRegRwWrite, {"Write Error! The adapter did not answer"}, true},
        {[&] { adapter.failSetAt(adapter.setCount() + 1); }, kIdcRegRwRead, {"Read Error! The adapter did not answer"}, true},
        // A refused select would connect the site selected before, a refused power-on an unpowered one.
        {[&] { adapter.failSetAt(adapter.setCount() + 1); }, kIdcRegRwOpenSwd, {"No Target IC found!"}, true},
        {[&] { adapter.failSetAt(adapter.setCount() + 2); }, kIdcRegRwOpenSwd, {"No Target IC found!"}, true},
        {[&] { adapter.site(1).removeTarget(), chooseSocket(1); }, kIdcRegRwOpenSwd, {"No Target IC found!"}, true},
        {[&] { g_bTaskWorking = true; }, kIdcRegRwRead, {}, false},
        {[&] { adapter.setUsbIds(0x1234, 0x5678); }, kIdcRegRwWrite, {"HID device Not Found !"}, false},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        adapter.clearLog();
        c.fault();
        click(c.button);
        EXPECT_EQ(takeMessages(), c.messages) << i;
        EXPECT_EQ(!adapter.exchanges().empty(), c.exchanged) << i;
        if (c.button == kIdcRegRwRead && c.exchanged) {
            EXPECT_EQ(dialog.controls().text(kIdcRegRwReadValue), "") << i;
        }
        g_bTaskWorking = false;
    }
    EXPECT_EQ(dialog.controls().text(kIdcRegRwReadValue), "") << "the busy case shows nothing new either";
}

TEST_F(RegRw, FieldsTakeHexNumbersOnly) {
    const struct {
        int id;
        const char* typed;
        const char* field;
        const char* message;
    } cases[] = {
        {kIdcRegRwReadAddr, "", "", nullptr},
        {kIdcRegRwReadAddr, "1g", "0", "Address Error! Address must be HEX number"},
        {kIdcRegRwWriteAddr, "1FFFFFFFF", "4008C000", "Out of range! Address must be <= FFFFFFFF"},
        {kIdcRegRwWriteValue, "XYZ", "0", "Value Error! Value must be HEX number"},
        {kIdcRegRwWriteValue, "deadbeef", "deadbeef", nullptr},
    };
    for (const auto& c : cases) {
        dialog.controls().setText(c.id, c.typed);
        EXPECT_EQ(dialog.controls().text(c.id).toStdString(), c.field) << c.typed;
        EXPECT_EQ(takeMessages(), c.message ? Texts{c.message} : Texts{}) << c.typed;
    }
    EXPECT_EQ(dialog.m_dwReadAddr, 0u);
    EXPECT_EQ(dialog.m_dwWriteAddr, 0x4008C000u);
    EXPECT_EQ(dialog.m_dwWriteValue, 0xDEADBEEFu);
}
