#include "controls/hex_addr_edit.h"

#include <QDialog>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "support/widget_render.h"

TEST(HexAddrEdit, KeyFilterPassesHexDigitsAndEditingKeysOnly) {
    struct Case {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        QString text;  // after the key, from "12" with the caret at the end
    };
    CHexAddrEdit edit;
    for (const Case& c : {Case{Qt::Key_G, {}, "12"}, Case{Qt::Key_A, {}, "12a"}, Case{Qt::Key_9, {}, "129"},
                          Case{Qt::Key_7, Qt::KeypadModifier, "127"}, Case{Qt::Key_Backspace, {}, "1"},
                          Case{Qt::Key_Escape, {}, "12"}, Case{Qt::Key_Space, {}, "12"},
                          Case{Qt::Key_Home, {}, "12"}, Case{Qt::Key_X, {}, "12"}}) {
        edit.setText("12");
        QTest::keyClick(&edit, c.key, c.modifiers);
        EXPECT_EQ(edit.text(), c.text) << c.key;
    }
    edit.setText("12");
    edit.setCursorPosition(2);
    QTest::keyClick(&edit, Qt::Key_Left);
    QTest::keyClick(&edit, Qt::Key_Delete);
    EXPECT_EQ(edit.text(), "1");
}

TEST(HexAddrEdit, EnterAndEscapeDoNotCloseTheDialog) {
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        QDialog dialog;
        QPushButton ok("OK", &dialog);
        ok.setDefault(true);
        QObject::connect(&ok, &QPushButton::clicked, &dialog, &QDialog::accept);
        CHexAddrEdit2 edit(&dialog);
        edit.move(0, 40);
        showActive(dialog);
        edit.setFocus();
        QTest::keyClick(&edit, key);
        EXPECT_TRUE(dialog.isVisible()) << key;
        EXPECT_EQ(dialog.result(), 0) << key;
    }
}

TEST(HexAddrEdit, DoubleFrameAndSuffixStrip) {
    CHexAddrEdit edit;
    CHexAddrEdit2 edit2;
    EXPECT_EQ(edit.suffix(), "0");
    EXPECT_EQ(edit2.suffix(), "00");
    edit.resize(80, 24);
    const QImage img = renderWidget(edit);
    EXPECT_EQ(pixelRef(img, 0, 0), 0x707070u);
    EXPECT_EQ(pixelRef(img, 79, 23), 0xF0F0F0u);
    EXPECT_EQ(pixelRef(img, 1, 1), 0xA8A8A8u);
    EXPECT_EQ(pixelRef(img, 78, 22), 0xFFFFFFu);
    const QRect strip = edit.suffixRect();
    EXPECT_EQ(strip, QRect(80 - 2 - 12 + 2, 4, 8, 16));
    EXPECT_EQ(pixelRef(img, strip.right(), strip.bottom()), refFromColor(edit.palette().color(QPalette::Button)));
}
