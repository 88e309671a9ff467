#include "controls/key_text.h"

#include <QTest>
#include <gtest/gtest.h>

#include "support/widget_render.h"

TEST(KeyText, HoldsTwoCharactersAndSelectsThemWheneverEntered) {
    QWidget dialog;
    CKeyText key(&dialog);
    QLineEdit other(&dialog);
    other.move(0, 40);
    showActive(dialog);
    key.setFocus();
    QTest::keyClicks(&key, "ABC");
    EXPECT_EQ(key.text(), "AB");
    // Entered by the keyboard and by a click: the whole key is selected, so typing replaces it.
    for (const bool byClick : {false, true}) {
        other.setFocus();
        EXPECT_FALSE(key.hasSelectedText());
        if (byClick)
            QTest::mouseClick(&key, Qt::LeftButton, {}, QPoint(2, key.height() / 2));
        else
            key.setFocus(Qt::TabFocusReason);
        EXPECT_EQ(key.selectedText(), "AB") << byClick;
        QTest::keyClicks(&key, "7");
        EXPECT_EQ(key.text(), "7") << byClick;
        key.setText("AB");
    }
}
