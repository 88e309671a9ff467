#include <QApplication>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "core/globals.h"
#include "app/ic_page.h"
#include "app/prompts.h"

namespace {

// The texts name the address (and the option byte 4 below it) as each kind words them.
TEST(StopPrompt, NamesTheAddressTwiceAndTheOptionByteByKindAndAnswersZero) {
    const struct { uint32_t kind, address; const char* message; } cases[] = {
        {1, 0x8FF, "0X8FF=0x10, error code, To enable memory protection 0X8FF=0x10, also need to set 0X8FB-bit7: 4 to 'A'"},
        {4, 0x1004, "0X1004=0xA5, error code, To enable memory protection 0X1004=0xA5, also need to set 0X1000-bit7: 4 to 'A'"},
        {5, 0x100, ""},
    };
    for (const auto& c : cases) {
        CStopDlg prompt(c.kind, c.address);
        EXPECT_EQ(prompt.controls().text(1128), *c.message ? "error code, ISP will terminate!!!" : "") << c.kind;
        EXPECT_EQ(prompt.controls().text(1129), c.message);
    }
    QTimer::singleShot(0, [] { QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Escape); });
    EXPECT_EQ(CISPDlg::OnStopPrompt(1, 0x100), 0);
}

TEST(WarnPrompt, TextsByKind) {
    const struct { uint32_t kind; const char* message; const char* prompt; } cases[] = {
        {2, "0x1000=0x00 will enable memory protection,flash memory can't be program and read after burn !!!",
         "Cotinue or Abort ?"},
        {3, "0x1000=0x5A will enable memory protection,flash memory can't be read after burn!!!", "Cotinue or Abort?"},
        {5, "0x1000 bit7: 4 = 'A' will be enable code option,0x1005=0xFF, 0x1006=0xFF and 0x1007=0xFF will be "
            "caused by unexpect result!!!",
         "Cotinue or Abort?"},
        {0, "", ""},
        {6, "", ""},
    };
    for (const auto& c : cases) {
        CWarnDlg prompt(c.kind, 0x1000);
        EXPECT_EQ(prompt.controls().text(1131), c.message) << c.kind;
        EXPECT_EQ(prompt.controls().text(1132), c.prompt) << c.kind;
    }
}

enum class End { Ok, DontAskThenOk, Abort, Escape, CloseBox, Dismissed };

// Ends the prompt that is about to run modally as the operator would.
void answerNextPrompt(End end) {
    QTimer::singleShot(0, [end] {
        auto* prompt = dynamic_cast<CWarnDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(prompt, nullptr);
        switch (end) {
            case End::Ok: QTest::mouseClick(prompt->control(1), Qt::LeftButton); break;
            case End::DontAskThenOk:
                QTest::mouseClick(prompt->control(1133), Qt::LeftButton, {}, QPoint(5, 5));
                QTest::mouseClick(prompt->control(1), Qt::LeftButton);
                break;
            case End::Abort: QTest::mouseClick(prompt->control(2), Qt::LeftButton); break;
            case End::Escape: QTest::keyClick(prompt, Qt::Key_Escape); break;
            case End::CloseBox: prompt->close(); break;
            // Ended by the program, not by a button: the choice stays 2.
            case End::Dismissed: prompt->done(QDialog::Rejected); break;
        }
    });
}

TEST(WarnPrompt, AnswersContinueOnlyOnOk) {
    const struct { uint32_t kind; End end; int choice; uint32_t ask, goOn; } cases[] = {
        {2, End::Ok, 1, 1, 1},     {1, End::DontAskThenOk, 1, 0, 1}, {2, End::Abort, 3, 1, 0},
        {1, End::Escape, 3, 1, 0}, {2, End::CloseBox, 3, 1, 0},      {5, End::DontAskThenOk, 1, 0, 1},
        {5, End::Dismissed, 3, 1, 0},
    };
    for (const auto& c : cases) {
        g_bWarnProtect = g_bProtectContinue = g_bWarnCodeOption = g_bCodeOptionContinue = 9;
        answerNextPrompt(c.end);
        EXPECT_EQ(CISPDlg::OnWarnPrompt(c.kind, 0x1000), c.choice);
        const bool codeOption = c.kind == 5;
        EXPECT_EQ(codeOption ? g_bWarnCodeOption : g_bWarnProtect, c.ask) << c.kind;
        EXPECT_EQ(codeOption ? g_bCodeOptionContinue : g_bProtectContinue, c.goOn) << c.kind;
        EXPECT_EQ(codeOption ? g_bProtectContinue : g_bCodeOptionContinue, 9u);  // the other pair stays
    }
}

}  // namespace
