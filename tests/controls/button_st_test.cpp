#include "controls/button_st.h"

#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "control_checks.h"
#include "res/menu.h"
#include "res/strings.h"

namespace {

QImage square(int size, QColor colour) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(colour);
    return image;
}

}  // namespace

TEST(ButtonST, ColourEntriesShadeWithoutClippingAndRefuseBadArguments) {
    CButtonST button;
    struct Case { int index, shade, result; COLORREF before, after; };
    for (const Case& c : {Case{0, 40, 0, 0x3264E6, 0x4B7DFF}, Case{2, -60, 0, 0x3264E6, 0x0032B4},
                          Case{5, 255, 0, 0x000000, 0xFFFFFF}, Case{1, 0, 0, 0x123456, 0x123456},
                          Case{6, 10, 3, 0, 0}, Case{-1, 10, 3, 0, 0}, Case{0, 256, 5, 0x3264E6, 0x3264E6},
                          Case{0, -256, 5, 0x3264E6, 0x3264E6}}) {
        const int badIndex = c.result == 3 ? 3 : 0;
        EXPECT_EQ(button.SetColorEntry(c.index, c.before), badIndex);
        EXPECT_EQ(button.ShadeColorEntry(c.index, c.shade), c.result) << c.index << " " << c.shade;
        COLORREF after = 0xDEAD;
        EXPECT_EQ(button.GetColorEntry(c.index, after), badIndex);
        EXPECT_EQ(after, badIndex ? 0xDEAD : c.after) << std::hex << c.before << " " << std::dec << c.shade;
    }
    for (const int align : {3, -1, 2})
        EXPECT_EQ(button.SetImageAlignment(align), align == 2 ? CButtonST::BTNST_OK : CButtonST::BTNST_INVALIDALIGN);
}

TEST(ButtonST, FrameFollowsLookDefaultMarkAndHover) {
    const COLORREF face = sys(COLOR_3DFACE), light = sys(COLOR_3DHILIGHT);
    struct Case { uint32_t style; bool flat, hover; COLORREF corner, inner; };
    for (const Case& c : {Case{CButtonST::BS_DEFPUSHBUTTON, false, false, 0x000000, light},
                          Case{CButtonST::BS_PUSHBUTTON, false, false, light, sys(COLOR_3DLIGHT)},
                          Case{CButtonST::BS_DEFPUSHBUTTON, true, false, face, face},
                          Case{CButtonST::BS_PUSHBUTTON, true, true, light, face}}) {
        CButtonST button;
        button.resize(60, 24);
        button.Attach(c.style);
        button.SetFlatLook(c.flat);
        if (c.hover) hover(button, true);
        const std::string what = std::to_string(c.style) + (c.flat ? " flat" : "");
        expectPixels(renderWidget(button), {{0, 0, c.corner}, {1, 1, c.inner}}, what);
        // The holder switching the style moves the default mark.
        button.SetButtonStyle(CButtonST::BS_PUSHBUTTON);
        EXPECT_FALSE(button.IsDefaultButton());
    }
}

TEST(ButtonST, PicturesSitByAlignmentAndAGreyCopyNeedsItsIcon) {
    struct Case { int align; QString text; QPoint at; };
    for (const Case& c : {Case{0, "", {16, 11}}, Case{0, "Go", {3, 11}}, Case{1, "", {16, 11}}, Case{1, "Go", {16, 3}},
                          Case{2, "", {16, 0}}, Case{2, "Go", {29, 11}}}) {
        CButtonST button;
        button.resize(40, 30);
        button.setText(c.text);
        ASSERT_EQ(button.SetIconImages(square(8, Qt::red)), 0);
        button.SetImageAlignment(c.align);
        // The picture's top-left corner is at `at`.
        const QImage img = renderWidget(button);
        const std::string what = std::to_string(c.align) + c.text.toStdString();
        EXPECT_EQ(pixelRef(img, c.at.x(), c.at.y()), 0x0000FFu) << what;
        EXPECT_NE(pixelRef(img, c.at.x() - 1, c.at.y() + 1), 0x0000FFu) << what;
        EXPECT_NE(pixelRef(img, c.at.x() + 1, c.at.y() - 1), 0x0000FFu) << what;
    }
    CButtonST button;
    button.resize(40, 30);
    ASSERT_EQ(button.SetIconImages(square(8, Qt::red)), 0);
    EXPECT_EQ(button.SetIconImages(QImage(), {}, true), CButtonST::BTNST_INVALIDRESOURCE);
    EXPECT_EQ(button.SetIconImages(12345, CButtonST::BTNST_AUTO_GRAY), CButtonST::BTNST_INVALIDRESOURCE);
    EXPECT_EQ(pixelRef(renderWidget(button), 20, 15), sys(COLOR_3DFACE));  // no picture left
    // The outside picture is the grey copy: red becomes 76, pure black stays.
    ASSERT_EQ(button.SetIconImages(square(8, Qt::red), {}, true), 0);
    EXPECT_EQ(pixelRef(renderWidget(button), 20, 15), 0x4C4C4Cu);
    EXPECT_EQ(CButtonST::GreyCopy(square(2, QColor(10, 200, 30))).pixel(0, 0), qRgb(123, 123, 123));
    EXPECT_EQ(CButtonST::GreyCopy(square(2, Qt::black)).pixel(1, 1), qRgb(0, 0, 0));
}

// Pictures by bitmap id lose their transparent colour; an id without a bitmap leaves the
// button without pictures. A tip by string id takes the string, an id without one changes
// nothing.
TEST(ButtonST, BitmapsAndTipsByResourceId) {
    const COLORREF green = 0x00FF00;
    BCMenu::SetResourceLookup(
        [&](int id) -> QImage {
            if (id != 300 && id != 301) return {};
            QImage bitmap = square(8, colorFromRef(green));
            QPainter(&bitmap).fillRect(2, 2, 4, 4, id == 300 ? Qt::red : Qt::blue);
            return bitmap;
        },
        nullptr);
    const struct { int in, out, result; COLORREF centre, edge; } cases[] = {
        {300, 0, CButtonST::BTNST_OK, 0x0000FF, sys(COLOR_3DFACE)},
        {300, 301, CButtonST::BTNST_OK, 0xFF0000, sys(COLOR_3DFACE)},  // the pointer is outside
        {999, 0, CButtonST::BTNST_INVALIDRESOURCE, sys(COLOR_3DFACE), sys(COLOR_3DFACE)},
        {300, 999, CButtonST::BTNST_INVALIDRESOURCE, sys(COLOR_3DFACE), sys(COLOR_3DFACE)},
    };
    for (const auto& c : cases) {
        CButtonST button;
        button.resize(40, 30);
        ASSERT_EQ(button.SetIconImages(square(8, Qt::black)), 0);  // a picture to replace
        EXPECT_EQ(button.SetBitmapImages(c.in, green, c.out, green), c.result) << c.in << " " << c.out;
        // The 8 by 8 picture's top-left corner is at (16, 11).
        expectPixels(renderWidget(button), {{19, 14, c.centre}, {16, 11, c.edge}}, std::to_string(c.in));
    }
    BCMenu::SetResourceLookup(nullptr, nullptr);

    CButtonST button;
    const struct { int id; bool activate; QString tip; } tips[] = {
        {res::kIdsAboutBox, true, "&About Uart_ISP..."}, {12345, true, "&About Uart_ISP..."},
        {res::kIdsAboutBox, false, ""}, {12345, true, ""}};
    for (const auto& t : tips) {
        button.SetTipText(t.id, t.activate);
        EXPECT_EQ(button.toolTip(), t.tip) << t.id;
    }
}

TEST(ButtonST, ClicksToggleTheCheckBoxOpenTheLinkAndCountDoubleClicksTwice) {
    std::vector<QUrl> opened;
    CButtonST::SetLinkOpener([&](const QUrl& url) { return opened.push_back(url), true; });
    QWidget dialog;
    CButtonST box(&dialog), link(&dialog);
    box.Attach(CButtonST::BS_CHECKBOX_BIT);
    link.move(0, 40);
    showActive(dialog);
    int clicks = 0;
    QObject::connect(&box, &QAbstractButton::clicked, [&] { ++clicks; });
    // As the system reports a double click: press, release, double click, release.
    const QPoint at(5, 5);
    QTest::mousePress(&box, Qt::LeftButton, {}, at);
    QTest::mouseRelease(&box, Qt::LeftButton, {}, at);
    QMouseEvent doubleClick(QEvent::MouseButtonDblClick, at, box.mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, {});
    QApplication::sendEvent(&box, &doubleClick);
    QTest::mouseRelease(&box, Qt::LeftButton, {}, at);
    EXPECT_EQ(clicks, 2);
    EXPECT_FALSE(box.GetCheck());  // toggled twice
    QTest::mouseClick(&box, Qt::LeftButton);
    EXPECT_TRUE(box.GetCheck() && box.hasFocus());
    for (const auto& [state, checked] : {std::pair{0, false}, {2, true}, {3, false}, {1, true}}) {
        box.OnSetCheck(state);
        EXPECT_EQ(box.GetCheck(), checked) << state;
    }
    link.OnSetCheck(1);
    EXPECT_FALSE(link.GetCheck());  // only a check box takes a check
    const QString url = "https://example.invalid/" + QString(300, 'a');
    link.SetLinkTarget(url);
    QTest::mouseClick(&link, Qt::LeftButton);
    EXPECT_EQ(opened, std::vector<QUrl>{QUrl(url)});
    CButtonST::SetLinkOpener(nullptr);
}

TEST(ButtonST, DropDownDeliversTheChosenCommandQueuedAndAMenuWithoutPopupShowsNothing) {
    resetMenuState();
    QWidget dialog;
    CButtonST button(&dialog);
    button.resize(80, 24);
    showActive(dialog);
    std::vector<int> commands;
    const auto deliver = [&](int c) { commands.push_back(c); };
    // The main menu's first item is a plain bar item: nothing drops down.
    ASSERT_EQ(button.SetDropDownMenu(129, &dialog, deliver), 0);
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    EXPECT_EQ(button.SetDropDownMenu(999, &dialog, deliver), CButtonST::BTNST_INVALIDRESOURCE);

    const res::MenuTemplate tools = {7, {{"Tools", 0, {{"&Erase", 701, {}}, {"&Blank check", 702, {}}}}}};
    ASSERT_EQ(button.SetDropDownMenu(tools, &dialog, deliver), 0);
    // While the menu is open the button shows pressed; the second item is clicked, then the
    // first is picked by its mnemonic on the next opening.
    for (const bool byKey : {false, true}) {
        bool shownPressed = false;
        QTimer::singleShot(0, [&] {
            shownPressed = button.IsMenuShowing();
            ASSERT_NE(button.openMenuView(), nullptr);
            if (byKey)
                QTest::keyClick(button.openMenuView(), 'e');
            else
                QTest::mouseClick(button.openMenuView()->itemWidgets()[1], Qt::LeftButton);
        });
        QTest::mouseClick(&button, Qt::LeftButton);
        EXPECT_TRUE(shownPressed && !button.IsMenuShowing());
        EXPECT_TRUE(commands.empty());  // queued, not called from inside the click
        QApplication::processEvents();
        EXPECT_EQ(commands, std::vector<int>{byKey ? 701 : 702});
        commands.clear();
    }
    resetMenuState();
}
