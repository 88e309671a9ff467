#include "controls/wc_hex_button.h"

#include <QTest>
#include <gtest/gtest.h>

#include <array>

#include "platform/dialog_builder.h"
#include "support/widget_render.h"

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

}  // namespace

TEST(wcHexButton, ChoosingABaseRewritesTheNumber) {
    struct Case { int from; QString text; int to; QString expected; };
    for (const Case& c : {Case{kHex, "FF", kDec, "255"}, Case{kDec, "255", kHex, "FF"},
                          Case{kHex, "ffffffff", kDec, "-1"}, Case{kDec, "-1", kHex, "FFFFFFFF"},
                          Case{kDec, "4294967295", kHex, "FFFFFFFF"}, Case{kDec, "4294967296", kHex, "4294967296"},
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
