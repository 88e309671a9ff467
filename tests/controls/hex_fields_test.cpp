// The hexadecimal fields: the address field, the number field with its base list, and the
// key filter they share with the grid's editor.
#include <QDialog>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <array>

#include "control_checks.h"
#include "controls/grid_box.h"
#include "controls/hex_addr_edit.h"
#include "controls/hex_key_filter.h"
#include "controls/wc_hex_button.h"
#include "platform/dialog_builder.h"
#include "support/recording_services.h"

namespace {

constexpr int kHex = 0, kDec = 1;  // entries of the choice list

struct FieldWindow {
    QWidget window;
    wcHexButton field{&window};

    explicit FieldWindow(int fieldTop = 20) {
        window.setGeometry(100, 100, 300, 200);
        field.setGeometry(20, fieldTop, 120, 24);
        field.SetButtonOnLeft(true);
        showActive(window);
    }
    void useBase(int choice) {
        field.ShowChoices();
        QListWidget* list = field.GetPopupList();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(choice)).center());
    }
};

// Every hexadecimal field in a dialog whose default button would accept it; the grid's
// editor is open on cell (1, 1) and has the focus.
struct FieldDialog {
    QDialog dialog;
    QPushButton ok{"OK", &dialog};
    CHexAddrEdit2 address{&dialog};
    wcHexButton number{&dialog};
    CGridBox grid{&dialog};

    FieldDialog() {
        ok.setDefault(true);
        QObject::connect(&ok, &QPushButton::clicked, &dialog, &QDialog::accept);
        address.setGeometry(0, 40, 100, 24);
        number.setGeometry(0, 70, 100, 24);
        grid.setGeometry(120, 0, 17 * 20, 33 * 15);
        showActive(dialog);
        QTest::mouseClick(&grid, Qt::LeftButton, {}, grid.cellRect(1, 1).center());
    }
};

}  // namespace

TEST(HexAddrEdit, DoubleFrameAndSuffixStrip) {
    CHexAddrEdit edit;
    EXPECT_EQ(edit.suffix(), "0");
    EXPECT_EQ(CHexAddrEdit2().suffix(), "00");
    edit.resize(80, 24);
    const QRect strip = edit.suffixRect();
    EXPECT_EQ(strip, QRect(80 - 2 - 12 + 2, 4, 8, 16));
    const COLORREF face = refFromColor(edit.palette().color(QPalette::Button));
    expectPixels(renderWidget(edit), {{0, 0, 0x707070}, {79, 23, 0xF0F0F0}, {1, 1, 0xA8A8A8}, {78, 22, 0xFFFFFF},
                                      {strip.right(), strip.bottom(), face}});
}

TEST(wcHexButton, ChoosingABaseRewritesTheNumber) {
    struct Case { int from; QString text; int to; QString expected; };
    for (const Case& c : {Case{kHex, "FF", kDec, "255"}, Case{kDec, "255", kHex, "FF"},
                          Case{kHex, "ffffffff", kDec, "-1"}, Case{kDec, "-1", kHex, "FFFFFFFF"},
                          Case{kDec, "4294967295", kHex, "FFFFFFFF"}, Case{kDec, "4294967296", kHex, "4294967296"},
                          Case{kHex, "0x10", kDec, "16"}, Case{kHex, " 0X1f", kDec, "31"}, Case{kHex, "0x", kDec, "0"},
                          Case{kHex, "", kDec, ""}, Case{kHex, "1A", kHex, "1A"}, Case{kDec, "12", kDec, "12"}}) {
        FieldWindow w;
        if (c.from == kDec) w.useBase(kDec);
        w.field.setText(c.text);
        w.useBase(c.to);
        EXPECT_EQ(w.field.text(), c.expected) << c.text.toStdString();
        EXPECT_EQ((std::array{w.field.IsHex(), w.field.GetChoiceValue(kHex), w.field.GetChoiceValue(kDec)}),
                  (std::array{int(c.to == kHex), int(c.to == kHex), int(c.to == kDec)}));
        EXPECT_FALSE(w.field.popup()->isVisible());
    }
    // A click that selects nothing changes nothing.
    FieldWindow w;
    w.field.setText("FF");
    w.field.ShowChoices();
    w.field.GetPopupList()->clearSelection();
    w.field.popup()->OnChoiceClicked();
    EXPECT_TRUE(w.field.popup()->isVisible() && w.field.IsHex());
    EXPECT_EQ(w.field.text(), "FF");
}

TEST(wcHexButton, ButtonReleasedOnItOrCtrlFullStopOpensTheList) {
    FieldWindow w;
    const QRect button = w.field.buttonRect();
    EXPECT_TRUE(w.field.HitButton(w.field.mapToGlobal(button.center())));
    EXPECT_FALSE(w.field.HitButton(w.field.mapToGlobal(QPoint(100, 12))));
    QTest::mousePress(&w.field, Qt::LeftButton, {}, button.center());
    EXPECT_EQ(w.field.drawnState(), wcHexButton::Pressed);
    const QPointF away(100, 12);
    QMouseEvent move(QEvent::MouseMove, away, w.field.mapToGlobal(away), Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(&w.field, &move);
    EXPECT_EQ(w.field.drawnState(), wcHexButton::Normal);
    QTest::mouseRelease(&w.field, Qt::LeftButton, {}, away.toPoint());
    EXPECT_FALSE(w.field.popup()->isVisible());
    QTest::mouseClick(&w.field, Qt::LeftButton, {}, button.center());
    EXPECT_TRUE(w.field.popup()->isVisible());
    QTest::keyClick(w.field.GetPopupList(), Qt::Key_Escape);
    EXPECT_FALSE(w.field.popup()->isVisible());
    QTest::keyClick(&w.field, Qt::Key_Period, Qt::ControlModifier);
    EXPECT_TRUE(w.field.popup()->isVisible());
}

TEST(wcHexButton, ListOpensAboveWhenThereIsNoRoomBelow) {
    for (int fieldTop : {20, 170}) {
        FieldWindow w(fieldTop);
        w.field.ShowChoices();
        const QRect popup = w.field.popup()->geometry();
        const QPoint fieldAt = w.field.mapToGlobal(QPoint(0, 0));
        EXPECT_EQ(popup.left(), fieldAt.x());
        EXPECT_GE(popup.width(), wcHexDecWnd::kMinWidth);
        // Below the field, or above it when the screen ends first.
        EXPECT_EQ(popup.top(), fieldTop == 20 ? fieldAt.y() + w.field.height() : fieldAt.y() - popup.height());
    }
}

TEST(wcHexButton, DataExchangeTakesThePlaceOfTheTemplateField) {
    const res::DialogTemplate page = {1, "Page erase", {"Tahoma", 8}, 200, 80, {
        {1024, res::Ctl::Edit, "10", {20, 20, 60, 12}},
        {1025, res::Ctl::Edit, "x", {20, 40, 60, 12}},
    }};
    ui::TemplateDialog dialog(page);
    const QRect place = dialog.control(1024)->geometry();
    wcHexButton field;
    DDX_wcHexButton(dialog.controls(), 1024, field);
    EXPECT_TRUE(field.parentWidget() == &dialog && field.geometry() == place && field.text() == "10");
    EXPECT_LT(field.buttonRect().left(), 10);
    EXPECT_EQ(dialog.findChildren<QLineEdit*>().size(), 2);
    // Lookups by id reach the field, never the template's deleted edit.
    ASSERT_EQ(dialog.control(1024), &field);
    dialog.controls().setText(1024, "2A");
    EXPECT_EQ(field.text(), "2A");
    // Later exchanges leave the field where it is.
    DDX_wcHexButton(dialog.controls(), 1025, field);
    EXPECT_EQ(field.geometry(), place);
    EXPECT_EQ(dialog.controls().text(1025), "x");
}

// A field made without a template sits where it was asked, with the parent's font, its id
// and its button on the side asked for; the base letter stays on the button.
TEST(wcHexButton, CreateExPlacesTheFieldWithoutATemplate) {
    using F = wcHexButton;
    const struct { bool left; uint32_t style; bool parent, created, visible, enabled; } cases[] = {
        {true, F::WS_VISIBLE, true, true, true, true},
        {false, F::WS_VISIBLE | F::WS_DISABLED, true, true, true, false},
        {false, 0, true, true, false, true},
        {true, F::WS_VISIBLE, false, false, false, true},
    };
    for (const auto& c : cases) {
        QWidget window;
        window.setFont(QFont("Serif", 13));
        window.setGeometry(100, 100, 300, 200);
        window.show();
        wcHexButton field;
        const QRect place(10, 20, 120, 24);
        ASSERT_EQ(field.CreateEx(c.left, F::WS_EX_CLIENTEDGE, "1F", c.style, place, c.parent ? &window : nullptr, 1034),
                  c.created);
        if (!c.created) {
            EXPECT_EQ(field.parentWidget(), nullptr);
            continue;
        }
        EXPECT_TRUE(field.parentWidget() == &window && field.geometry() == place && field.text() == "1F");
        EXPECT_EQ(ui::controlId(&field), 1034);
        EXPECT_EQ(field.font(), window.font());
        EXPECT_EQ(field.isVisible(), c.visible);
        EXPECT_EQ(field.isEnabled(), c.enabled);
        const QRect button = field.buttonRect();
        EXPECT_EQ(button.left() < place.width() / 2, c.left);
        EXPECT_TRUE(button.contains(field.letterAt())) << c.left;
        // A field is made once.
        EXPECT_FALSE(field.CreateEx(c.left, 0, "", c.style, place, &window, 1035));
        EXPECT_EQ(ui::controlId(&field), 1034);
    }
}

// The two messages reach the parent with their wParam and the field's id, the second after
// the button is drawn normal; other messages are not the field's to pass on.
TEST(wcHexButton, PassesItsTwoMessagesToTheParentAndBeeps) {
    QWidget window;
    wcHexButton field;
    ASSERT_TRUE(field.CreateEx(true, 0, "", wcHexButton::WS_VISIBLE, QRect(0, 0, 100, 24), &window, 1034));
    std::vector<std::array<qintptr, 4>> received;  // message, wParam, id, drawn state on arrival
    QObject::connect(&field, &wcHexButton::parentMessage, [&](unsigned message, quintptr wParam, qintptr id) {
        received.push_back({static_cast<qintptr>(message), static_cast<qintptr>(wParam), id, field.drawnState()});
    });
    const struct { unsigned message; quintptr wParam; bool passed; int drawnAfter; } cases[] = {
        {0x8B1, 7, true, wcHexButton::Pressed},
        {0x8B2, 9, true, wcHexButton::Normal},
        {0x8B0, 1, false, wcHexButton::Pressed},
        {0x8B3, 1, false, wcHexButton::Pressed},
    };
    for (const auto& c : cases) {
        received.clear();
        field.DrawButton(wcHexButton::Pressed);
        EXPECT_EQ(field.SendMessage(c.message, c.wParam), c.passed) << c.message;
        const auto expected = c.passed ? std::vector<std::array<qintptr, 4>>{{static_cast<qintptr>(c.message),
                                                                              static_cast<qintptr>(c.wParam), 1034,
                                                                              c.drawnAfter}}
                                       : std::vector<std::array<qintptr, 4>>{};
        EXPECT_EQ(received, expected) << c.message;
        EXPECT_EQ(field.drawnState(), c.drawnAfter) << c.message;
    }
    RecordingServices services;
    field.DefaultBeep();
    EXPECT_EQ(services.beeps(), 1);
    EXPECT_TRUE(services.tones().empty());
}

TEST(HexKeyFilter, FieldsPassDigitsAndEditingKeysOnly) {
    // The texts after the key, from "1" with the caret where given.
    struct Case { Qt::Key key; Qt::KeyboardModifiers modifiers; int caret; QString hex, dec; };
    FieldDialog d;
    for (const Case& c : {Case{Qt::Key_A, {}, 1, "1a", "1"}, Case{Qt::Key_F, {}, 1, "1f", "1"},
                          Case{Qt::Key_G, {}, 1, "1", "1"}, Case{Qt::Key_X, {}, 1, "1", "1"},
                          Case{Qt::Key_9, {}, 1, "19", "19"}, Case{Qt::Key_7, Qt::KeypadModifier, 1, "17", "17"},
                          Case{Qt::Key_Backspace, {}, 1, "", ""}, Case{Qt::Key_Delete, {}, 0, "", ""},
                          Case{Qt::Key_Space, {}, 1, "1", "1"}, Case{Qt::Key_Minus, {}, 1, "1", "1"},
                          Case{Qt::Key_Home, {}, 1, "1", "1"}, Case{Qt::Key_Up, {}, 1, "1", "1"},
                          Case{Qt::Key_Tab, {}, 1, "1", "1"}}) {
        for (const auto& [field, hex] : std::initializer_list<std::pair<QLineEdit*, bool>>{
                 {&d.address, true}, {&d.grid.m_edit, true}, {&d.number, true}, {&d.number, false}}) {
            d.number.SetHexMode(hex);
            field->setText("1");
            field->setCursorPosition(c.caret);
            QTest::keyClick(field, c.key, c.modifiers);
            EXPECT_EQ(field->text(), hex ? c.hex : c.dec) << field->metaObject()->className() << " " << c.key;
        }
        EXPECT_TRUE(d.grid.m_edit.hasFocus()) << c.key;
    }
    QTest::keyClick(&d.address, Qt::Key_Left);
    EXPECT_EQ(d.address.cursorPosition(), 0);
}

TEST(HexKeyFilter, EnterAndEscapeDoNotCloseTheDialog) {
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        FieldDialog d;
        for (QLineEdit* field : std::initializer_list<QLineEdit*>{&d.grid.m_edit, &d.address, &d.number}) {
            field->setFocus();
            QTest::keyClick(field, key);
            EXPECT_TRUE(d.dialog.isVisible()) << key << " " << field->metaObject()->className();
            EXPECT_EQ(d.dialog.result(), 0) << key;
        }
    }
}
