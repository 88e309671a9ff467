// Burn on the IC page in a chip mode of the gang board, against the simulated board on a
// pseudo-terminal and the simulated adapter that Burn looks for.
#include <QAbstractButton>
#include <gtest/gtest.h>

#include "core/globals.h"
#include "app/ic_page.h"
#include "platform/dialog_builder.h"
#include "res/ic_page_template.h"
#include "support/modal_dialog.h"
#include "support/simulated_gang.h"

using namespace res;

namespace {

bool Idle() {
    return spinUntil([] { return !g_bTaskWorking; }, std::chrono::seconds(20));
}

class GangBurnPage : public ::testing::Test {
protected:
    void SetUp() override {
        g_bTaskWorking = false;
        page.show();
    }
    void TearDown() override { EXPECT_TRUE(Idle()); }
    void load(const std::vector<uint8_t>& bytes) {
        gang.bench.services.chosenFile = gang.bench.writeImage(bytes);
        page.OnLoadFile();
    }
    void burn() {
        page.controls().control<QAbstractButton>(kIdcBurn)->click();
        ASSERT_TRUE(Idle());
    }
    QString text(int id) const { return page.controls().text(id); }

    SimulatedGang gang;
    CISPDlg page;
};

}  // namespace

TEST_F(GangBurnPage, BurnProgramsEverySocketAndVerifyModeOnlyCompares) {
    const std::vector<uint8_t> image = PatternImage(700);
    load(image);
    burn();
    for (int socket = 0; socket < 4; ++socket) {
        const auto flash = gang.board.target(socket)->flash;
        EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin())) << socket;
        EXPECT_EQ(page.controls().icon(kIdcSiteIcon[socket]), 150);
    }
    EXPECT_EQ(QStringList({text(kIdcTotal), text(kIdcPass), text(kIdcFail), text(kIdcYield)}),
              QStringList({"4", "4", "0", "100.00%"}));
    EXPECT_EQ(gang.bench.storedCounters(), (Counters{4, 4, 0}));

    gang.board.clearLog();
    page.controls().control<QAbstractButton>(kIdcVerifyMode)->click();
    burn();
    EXPECT_EQ(gang.framesOf(0x0F, 0x26), 0);
    EXPECT_EQ(gang.framesOf(0x0F, 0x3A), 4 * 11);
    EXPECT_EQ(text(kIdcTotal), "8");
    EXPECT_EQ(page.controls().icon(kIdcBurn), 170);
    // The verify run's parts stay counted: the next program run stores them with its own.
    page.controls().control<QAbstractButton>(kIdcVerifyMode)->click();
    burn();
    EXPECT_EQ(text(kIdcTotal), "12");
    EXPECT_EQ(gang.bench.storedCounters(), (Counters{12, 12, 0}));
    EXPECT_TRUE(gang.bench.services.messages().empty());
}

// The warning prompt runs on the user-interface thread; its Abort with "Don't warning again."
// is remembered, so the next Burn ends at once without asking. Neither sends more than the
// frames that switch the board off.
TEST_F(GangBurnPage, TheWarningPromptsAnswerIsRememberedAcrossBurns) {
    gang.store("Option Addr", 0x100);
    std::vector<uint8_t> image = PatternImage(0x100);
    for (uint8_t b : {0xA5, 0, 0, 0, 0x10, 1, 2, 3}) image.push_back(b);
    load(image);
    for (bool asks : {true, false}) {
        gang.board.clearLog();
        // Ticks "Don't warning again." and aborts.
        EXPECT_EQ(WhenModal<ui::TemplateDialog>([&] { burn(); },
                                                [](ui::TemplateDialog& dialog) {
                                                    dialog.controls().control<QAbstractButton>(1133)->click();
                                                    dialog.controls().control<QAbstractButton>(2)->click();
                                                }),
                  asks);
        EXPECT_TRUE(gang.onlySwitchedOff());
        EXPECT_EQ(text(kIdcTotal), "0");
    }
    EXPECT_EQ(g_bWarnProtect, 0u);
    EXPECT_EQ(g_bProtectContinue, 0u);
}
