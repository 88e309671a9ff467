#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QStyleOption>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <cmath>
#include <gtest/gtest.h>

#include "platform/dialog_builder.h"
#include "res/config1_template.h"
#include "res/flash_page_template.h"
#include "res/ic_page_template.h"
#include "res/main_window_template.h"
#include "res/prompt_templates.h"

namespace {

const res::DialogTemplate kSample = {900, "Sample", {"Tahoma", 10}, 200, 100, {
    {10, res::Ctl::Button, "Load", {8, 5, 46, 12}},
    {11, res::Ctl::Static, "Hidden", {60, 5, 40, 8}, res::kHidden},
    {12, res::Ctl::Button, "Off", {8, 20, 46, 12}, res::kDisabled},
    {13, res::Ctl::Radio, "A", {8, 40, 30, 10}},
    {14, res::Ctl::Radio, "B", {40, 40, 30, 10}},
    {15, res::Ctl::CheckBox, "C", {8, 55, 30, 10}},
    {res::kNoId, res::Ctl::Static, "label", {100, 5, 40, 8}},
}};

// Four horizontal dialog units are one average letter of the template's font, eight vertical
// units one line; controls carry their ids, styles and click handlers, and consecutive radio
// buttons exclude each other.
TEST(DialogBuilder, ConvertsDialogUnitsAndBuildsControlsWithIdsStylesAndHandlers) {
    ui::TemplateDialog dialog(kSample);
    const QFont font = dialog.font();
    EXPECT_EQ(font.family(), QFontDatabase::systemFont(QFontDatabase::GeneralFont).family());
    EXPECT_EQ(font.pointSize(), 10);
    const QFontMetrics metrics(font);
    const double letter = metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") / 52.0;
    const QRect load = dialog.control(10)->geometry();
    EXPECT_NEAR(load.x(), 8 * letter / 4, 1.0);
    EXPECT_NEAR(load.width(), 46 * letter / 4, 1.5);
    EXPECT_EQ(load.y(), std::lround(5.0 * metrics.height() / 8));
    EXPECT_EQ(load.height(), std::lround(12.0 * metrics.height() / 8));
    EXPECT_EQ(dialog.size(), QSize(dialog.controls().units().x(200), dialog.controls().units().y(100)));
    EXPECT_EQ(dialog.windowTitle(), "Sample");

    std::vector<int> clicked;
    for (int id : {10, 15}) dialog.controls().onClicked(id, [&clicked, id] { clicked.push_back(id); });
    dialog.show();
    EXPECT_TRUE(dialog.control(11)->isHidden());
    EXPECT_FALSE(dialog.control(12)->isEnabled());
    EXPECT_EQ(dialog.control(99), nullptr);
    QTest::mouseClick(dialog.control(10), Qt::LeftButton);
    QTest::mouseClick(dialog.control(15), Qt::LeftButton, {}, QPoint(4, 4));
    EXPECT_EQ(clicked, (std::vector<int>{10, 15}));
    EXPECT_TRUE(dialog.controls().isChecked(15));
    dialog.controls().setChecked(13, true);
    dialog.controls().setChecked(14, true);
    EXPECT_FALSE(dialog.controls().isChecked(13));
}

// Where the style draws a control's caption, and the flags it draws it with.
struct CaptionPlace {
    QRect rect;
    int flags = Qt::AlignLeft;
};

CaptionPlace captionPlace(QWidget* widget) {
    QStyle* style = widget->style();
    if (auto* label = qobject_cast<QLabel*>(widget))
        return {label->contentsRect(), int(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0)};
    if (auto* group = qobject_cast<QGroupBox*>(widget)) {
        QStyleOptionGroupBox option;
        option.initFrom(group);
        option.text = group->title();
        option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
        const QRect label = style->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, group);
        return {label.intersected(group->rect()), Qt::AlignLeft};
    }
    auto* button = qobject_cast<QAbstractButton*>(widget);
    if (button == nullptr) return {};
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    if (qobject_cast<QPushButton*>(button) != nullptr) {
        const int wrap = button->property("wordWrap").toBool() ? Qt::TextWordWrap : 0;
        return {style->subElementRect(QStyle::SE_PushButtonContents, &option, button), Qt::AlignCenter | wrap};
    }
    const auto contents =
        qobject_cast<QCheckBox*>(button) ? QStyle::SE_CheckBoxContents : QStyle::SE_RadioButtonContents;
    return {style->subElementRect(contents, &option, button), Qt::AlignVCenter};
}

// Windows made every control large enough for its caption in the template's font; the
// builder's conversion and style must keep it so, whatever the desktop's font.
TEST(DialogBuilder, EveryCaptionFitsItsControl) {
    for (const res::DialogTemplate* dialog : {&res::kIcPage130, &res::kConfig186, &res::kMainWindow102,
                                              &res::kAbout100, &res::kStopPrompt173, &res::kWarnPrompt174}) {
        ui::TemplateDialog host(*dialog);
        const QFontMetrics metrics(host.font());
        for (const res::ControlTemplate& item : dialog->controls) {
            if (item.text == nullptr || *item.text == 0 || (item.style & res::kIconButton)) continue;
            // Controls without an id share kNoId: rebuild each alone to find its widget.
            const res::DialogTemplate single = {dialog->id, "", dialog->font, dialog->width, dialog->height, {item}};
            ui::TemplateDialog alone(single);
            QWidget* widget = alone.findChildren<QWidget*>(Qt::FindDirectChildrenOnly).value(0);
            ASSERT_NE(widget, nullptr);
            const CaptionPlace place = captionPlace(widget);
            // A blank at the end draws nothing; the last line's descent may be cut, as
            // Windows cuts it in a control only one line high.
            const QString caption = QString::fromLatin1(item.text).remove(QRegularExpression(" +$"));
            const QRect needed = metrics.boundingRect(place.rect, place.flags, caption);
            const int lines = std::max(1, int(std::lround(double(needed.height()) / metrics.lineSpacing())));
            EXPECT_LE(needed.width(), place.rect.width()) << dialog->id << " \"" << item.text << "\"";
            EXPECT_LE((lines - 1) * metrics.lineSpacing() + metrics.ascent(), place.rect.height())
                << dialog->id << " \"" << item.text << "\" " << lines << " lines";
        }
    }
}

// Texts the program writes into a control at their widest fit it as well: the serial-number
// labels show any 32-bit number.
TEST(DialogBuilder, WidestShownTextsFitTheirControls) {
    const struct { const res::DialogTemplate* dialog; int id; const char* text; } cases[] = {
        {&res::kIcPage130, res::kIdcSerialLast, "S/N Last : 4294967295"},
        {&res::kFlashPage161, res::sf::kIdcSerialLast, "S/N Last : 4294967295"},
    };
    for (const auto& c : cases) {
        ui::TemplateDialog host(*c.dialog);
        const CaptionPlace place = captionPlace(host.control(c.id));
        EXPECT_LE(QFontMetrics(host.font()).horizontalAdvance(c.text), place.rect.width()) << c.dialog->id;
    }
}

TEST(MenuBuilder, CommandsReachTheHandlerAndCanBeRemoved) {
    const res::MenuTemplate menu = {1, {{"One", 101, {}}, {"Pop", 0, {{"Two", 102, {}}, {nullptr, 0, {}}}}}};
    QMenuBar bar;
    std::vector<int> ran;
    ui::buildMenuBar(&bar, menu, [&](int id) { ran.push_back(id); });
    ui::findCommand(&bar, 102)->trigger();
    ui::findCommand(&bar, 101)->trigger();
    ui::removeCommand(&bar, 101);
    EXPECT_EQ(ui::findCommand(&bar, 101), nullptr);
    EXPECT_EQ(ran, (std::vector<int>{102, 101}));
}

}  // namespace
