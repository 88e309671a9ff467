#include "controls/hex_key_filter.h"

#include <QDialog>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "controls/grid_box.h"
#include "controls/hex_addr_edit.h"
#include "controls/wc_hex_button.h"
#include "support/widget_render.h"

namespace {

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
