#include "platform/dialog_builder.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QSignalBlocker>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPointer>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOption>
#include <QStylePainter>
#include <QWheelEvent>
#include <cmath>
#include <cstring>

#include "res/icons.h"

namespace ui {
namespace {

const char* const kIdProperty = "controlId";
const char* const kIconProperty = "iconId";

// The desktop style with the metrics of the controls the templates were drawn for: a check
// box's caption close to its box, and a group box's frame running through the middle of its
// caption. The desktop's own margins would clip captions that Windows fitted.
class TemplateStyle final : public QProxyStyle {
public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override {
        switch (metric) {
            case PM_CheckBoxLabelSpacing:
            case PM_RadioButtonLabelSpacing: return 3;
            default: return QProxyStyle::pixelMetric(metric, option, widget);
        }
    }

    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl sub,
                         const QWidget* widget) const override {
        const auto* group = qstyleoption_cast<const QStyleOptionGroupBox*>(option);
        if (control != CC_GroupBox || group == nullptr) {
            return QProxyStyle::subControlRect(control, option, sub, widget);
        }
        const QFontMetrics metrics(group->fontMetrics);
        const QRect& box = group->rect;
        switch (sub) {
            case SC_GroupBoxFrame:
                return box.adjusted(0, metrics.height() / 2, 0, 0);
            case SC_GroupBoxLabel: {
                if (group->text.isEmpty()) return {};
                const int width = metrics.horizontalAdvance(group->text) + 2 * kTitlePadding;
                return QRect(box.x() + kTitleIndent, box.y(), width, metrics.height());
            }
            case SC_GroupBoxContents:
                return box.adjusted(1, metrics.height(), -1, -1);
            default:
                return QProxyStyle::subControlRect(control, option, sub, widget);
        }
    }

    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                            const QWidget* widget) const override {
        const auto* group = qstyleoption_cast<const QStyleOptionGroupBox*>(option);
        if (control != CC_GroupBox || group == nullptr) {
            QProxyStyle::drawComplexControl(control, option, painter, widget);
            return;
        }
        const QRect label = subControlRect(control, option, SC_GroupBoxLabel, widget);
        painter->save();
        // An etched frame that stops at both sides of the caption.
        painter->setClipRegion(QRegion(group->rect).subtracted(QRegion(label)));
        const QRect frame = subControlRect(control, option, SC_GroupBoxFrame, widget).adjusted(0, 0, -2, -2);
        painter->setPen(group->palette.color(QPalette::Mid));
        painter->drawRect(frame);
        painter->setPen(group->palette.color(QPalette::Light));
        painter->drawRect(frame.translated(1, 1));
        painter->restore();
        if (!label.isEmpty()) {
            drawItemText(painter, label.adjusted(kTitlePadding, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                         group->palette, group->state & State_Enabled, group->text, QPalette::WindowText);
        }
    }

private:
    static constexpr int kTitleIndent = 6;
    static constexpr int kTitlePadding = 2;
};

QStyle* templateStyle() {
    static QPointer<TemplateStyle> style;
    if (style.isNull()) {
        style = new TemplateStyle;
        style->setParent(qApp);
    }
    return style;
}

// A push button as the templates know it: a multi-line one wraps its caption at word
// boundaries, an icon button shows its icon in place of its caption.
class TemplateButton final : public QPushButton {
public:
    TemplateButton(const QString& text, QWidget* parent, bool wrap, bool iconOnly)
        : QPushButton(text, parent), wrap_(wrap), iconOnly_(iconOnly) {
        setProperty("wordWrap", wrap);
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        if (!wrap_ && !iconOnly_) {
            QPushButton::paintEvent(event);
            return;
        }
        QStylePainter painter(this);
        QStyleOptionButton option;
        initStyleOption(&option);
        const QString caption = option.text;
        option.text.clear();
        painter.drawControl(QStyle::CE_PushButton, option);
        if (iconOnly_) return;
        const QRect contents = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
        style()->drawItemText(&painter, contents, Qt::AlignCenter | Qt::TextWordWrap, palette(), isEnabled(), caption,
                              QPalette::ButtonText);
    }

private:
    bool wrap_, iconOnly_;
};

// A drop-down list as the templates know it: the wheel changes it only while it has focus, so
// a wheel turned over it to scroll the page passes it by and never picks another entry.
class TemplateComboBox final : public QComboBox {
public:
    explicit TemplateComboBox(QWidget* parent) : QComboBox(parent) { setFocusPolicy(Qt::StrongFocus); }

protected:
    void wheelEvent(QWheelEvent* event) override {
        if (hasFocus()) QComboBox::wheelEvent(event);
        else event->ignore();
    }
};

// Windows rounds dialog-unit conversions to the nearest pixel.
int mulDiv(int value, int numerator, int denominator) {
    return static_cast<int>(std::lround(static_cast<double>(value) * numerator / denominator));
}

Qt::Alignment textAlignment(uint32_t style) {
    if (style & res::kRight) return Qt::AlignRight | Qt::AlignTop;
    if (style & res::kCenter) return Qt::AlignHCenter | Qt::AlignTop;
    return Qt::AlignLeft | Qt::AlignTop;
}

// Makes a picture control answer clicks, as a static with notify does.
class ClickFilter final : public QObject {
public:
    ClickFilter(QObject* parent, std::function<void()> handler)
        : QObject(parent), handler_(std::move(handler)) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonRelease &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
            handler_();
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> handler_;
};

void addItems(QMenu* menu, const std::vector<res::MenuItem>& items,
              const std::function<void(int)>& onCommand) {
    for (const res::MenuItem& item : items) {
        if (item.text == nullptr) {
            menu->addSeparator();
        } else if (!item.popup.empty()) {
            addItems(menu->addMenu(QString::fromLatin1(item.text)), item.popup, onCommand);
        } else {
            QAction* action = menu->addAction(QString::fromLatin1(item.text));
            action->setData(item.command);
            QObject::connect(action, &QAction::triggered, action, [onCommand, id = item.command] { onCommand(id); });
        }
    }
}

}  // namespace

int DialogUnits::x(int units) const { return mulDiv(units, charWidth, 4); }
int DialogUnits::y(int units) const { return mulDiv(units, charHeight, 8); }

QRect DialogUnits::toPixels(const res::Place& place) const {
    return QRect(x(place.x), y(place.y), x(place.w), y(place.h));
}

QFont templateFont(const res::FontSpec& spec) {
    QFont font;
    const bool windowsFace = std::strcmp(spec.face, "Tahoma") == 0 ||
                             std::strcmp(spec.face, "MS Sans Serif") == 0 ||
                             std::strcmp(spec.face, "MS Shell Dlg") == 0;
    font.setFamily(windowsFace ? QFontDatabase::systemFont(QFontDatabase::GeneralFont).family()
                               : QString::fromLatin1(spec.face));
    font.setPointSize(spec.points);
    return font;
}

DialogUnits dialogUnits(const QFont& font) {
    // The average width is measured over the 52 letters, as Windows does for dialogs.
    const QFontMetrics metrics(font);
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return DialogUnits{(letters / 26 + 1) / 2, metrics.height()};
}

int controlId(const QWidget* widget) {
    const QVariant id = widget ? widget->property(kIdProperty) : QVariant();
    return id.isValid() ? id.toInt() : res::kNoId;
}

void setControlId(QWidget* widget, int id) { widget->setProperty(kIdProperty, id); }

void ControlSet::build(QWidget* host, const res::DialogTemplate& dialog) {
    const QFont font = templateFont(dialog.font);
    host->setFont(font);
    units_ = dialogUnits(font);
    if (dialog.caption != nullptr) host->setWindowTitle(QString::fromLatin1(dialog.caption));
    QWidget* previous = nullptr;
    for (const res::ControlTemplate& item : dialog.controls) {
        QWidget* widget = makeControl(host, item, previous);
        widget->setProperty(kIdProperty, item.id);
        widget->setObjectName(QStringLiteral("ctl%1").arg(item.id));
        widget->setEnabled(!(item.style & res::kDisabled));
        widget->setHidden(item.style & res::kHidden);
        if (item.style & res::kNoTabStop) widget->setFocusPolicy(Qt::ClickFocus);
        if (item.id != res::kNoId) byId_[item.id] = widget;
        previous = widget;
    }
    host->setFixedSize(units_.x(dialog.width), units_.y(dialog.height));
}

QWidget* ControlSet::makeControl(QWidget* host, const res::ControlTemplate& item, QWidget* previous) {
    const QString text = QString::fromLatin1(item.text ? item.text : "");
    QRect place = units_.toPixels(item.place);
    QWidget* widget = nullptr;
    switch (item.kind) {
        case res::Ctl::Button:
        case res::Ctl::DefButton: {
            const bool iconOnly = item.style & res::kIconButton;
            auto* button = new TemplateButton(text, host, item.style & res::kMultiLine, iconOnly);
            button->setAutoDefault(false);
            button->setDefault(item.kind == res::Ctl::DefButton);
            if (iconOnly) {
                button->setIcon(res::icon(item.image));
                button->setIconSize(QSize(32, 32));
                button->setProperty(kIconProperty, item.image);
                button->setAccessibleName(text);
            }
            widget = button;
            break;
        }
        case res::Ctl::CheckBox:
            widget = new QCheckBox(text, host);
            break;
        case res::Ctl::Radio: {
            // Consecutive radio buttons form one group, as they do under WS_GROUP.
            auto* radio = new QRadioButton(text, host);
            auto* prior = qobject_cast<QRadioButton*>(previous);
            QButtonGroup* group = prior ? prior->group() : new QButtonGroup(host);
            group->addButton(radio);
            widget = radio;
            break;
        }
        case res::Ctl::Edit:
            if (item.style & res::kMultiLine) {
                auto* edit = new QPlainTextEdit(text, host);
                edit->setReadOnly(item.style & res::kReadOnly);
                widget = edit;
            } else {
                auto* edit = new QLineEdit(text, host);
                edit->setReadOnly(item.style & res::kReadOnly);
                if (item.style & res::kRight) edit->setAlignment(Qt::AlignRight);
                widget = edit;
            }
            break;
        case res::Ctl::Static: {
            auto* label = new QLabel(text, host);
            label->setAlignment(textAlignment(item.style));
            label->setWordWrap(!(item.style & (res::kRight | res::kCenter)) && place.height() > units_.y(10));
            widget = label;
            break;
        }
        case res::Ctl::GroupBox:
            widget = new QGroupBox(text, host);
            break;
        case res::Ctl::ListBox: {
            auto* list = new QListWidget(host);
            list->setVerticalScrollBarPolicy((item.style & res::kVScroll) ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
            list->setHorizontalScrollBarPolicy((item.style & res::kHScroll) ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
            widget = list;
            break;
        }
        case res::Ctl::ComboBox: {
            // The template's height includes the drop-down list; the closed box is one line.
            auto* combo = new TemplateComboBox(host);
            place.setHeight(std::min(place.height(), combo->sizeHint().height()));
            widget = combo;
            break;
        }
        case res::Ctl::Icon: {
            // An icon picture sizes itself to the icon, as a static icon control does.
            auto* label = new QLabel(host);
            label->setPixmap(res::iconPixmap(item.image, 32));
            label->setProperty(kIconProperty, item.image);
            place.setSize(QSize(32, 32));
            widget = label;
            break;
        }
        case res::Ctl::BlackFrame:
        case res::Ctl::BlackRect: {
            auto* frame = new QFrame(host);
            QPalette palette = frame->palette();
            palette.setColor(QPalette::WindowText, Qt::black);
            palette.setColor(QPalette::Window, Qt::black);
            frame->setPalette(palette);
            if (item.kind == res::Ctl::BlackFrame) {
                frame->setFrameStyle(QFrame::Box | QFrame::Plain);
            } else {
                frame->setAutoFillBackground(true);
            }
            widget = frame;
            break;
        }
        case res::Ctl::Progress: {
            auto* bar = new QProgressBar(host);
            bar->setTextVisible(false);
            widget = bar;
            break;
        }
        case res::Ctl::Custom:
            widget = new QWidget(host);
            break;
    }
    widget->setStyle(templateStyle());
    widget->setGeometry(place);
    return widget;
}

QWidget* ControlSet::control(int id) const {
    const auto found = byId_.find(id);
    return found == byId_.end() ? nullptr : found->second;
}

void ControlSet::replace(int id, QWidget* widget) {
    QWidget* placeholder = control(id);
    if (placeholder == nullptr) return;
    widget->setParent(placeholder->parentWidget());
    widget->setGeometry(placeholder->geometry());
    widget->setProperty(kIdProperty, id);
    widget->setObjectName(placeholder->objectName());
    widget->setEnabled(placeholder->isEnabled());
    widget->setHidden(placeholder->isHidden());
    widget->setStyle(placeholder->style());
    widget->stackUnder(placeholder);
    byId_[id] = widget;
    delete placeholder;
}

void ControlSet::setText(int id, const QString& text) {
    QWidget* widget = control(id);
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) button->setText(text);
    else if (auto* label = qobject_cast<QLabel*>(widget)) label->setText(text);
    else if (auto* edit = qobject_cast<QLineEdit*>(widget)) edit->setText(text);
    else if (auto* plain = qobject_cast<QPlainTextEdit*>(widget)) plain->setPlainText(text);
    else if (auto* group = qobject_cast<QGroupBox*>(widget)) group->setTitle(text);
    else if (auto* combo = qobject_cast<QComboBox*>(widget)) combo->setCurrentText(text);
}

QString ControlSet::text(int id) const {
    QWidget* widget = control(id);
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->text();
    if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) return edit->text();
    if (auto* plain = qobject_cast<QPlainTextEdit*>(widget)) return plain->toPlainText();
    if (auto* group = qobject_cast<QGroupBox*>(widget)) return group->title();
    if (auto* combo = qobject_cast<QComboBox*>(widget)) return combo->currentText();
    return {};
}

void ControlSet::show(int id, bool visible) {
    if (QWidget* widget = control(id)) widget->setVisible(visible);
}

void ControlSet::enable(int id, bool enabled) {
    if (QWidget* widget = control(id)) widget->setEnabled(enabled);
}

bool ControlSet::isChecked(int id) const {
    auto* button = qobject_cast<QAbstractButton*>(control(id));
    return button != nullptr && button->isChecked();
}

void ControlSet::setChecked(int id, bool checked) {
    if (auto* button = qobject_cast<QAbstractButton*>(control(id))) {
        const QSignalBlocker quiet(button);
        button->setChecked(checked);
    }
}

void ControlSet::setIcon(int id, int iconId) {
    QWidget* widget = control(id);
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) button->setIcon(res::icon(iconId));
    else if (auto* label = qobject_cast<QLabel*>(widget)) label->setPixmap(res::iconPixmap(iconId, 32));
    else return;
    widget->setProperty(kIconProperty, iconId);
}

int ControlSet::icon(int id) const {
    const QWidget* widget = control(id);
    const QVariant icon = widget ? widget->property(kIconProperty) : QVariant();
    return icon.isValid() ? icon.toInt() : 0;
}

void ControlSet::onClicked(int id, std::function<void()> handler) {
    QWidget* widget = control(id);
    if (auto* button = qobject_cast<QAbstractButton*>(widget))
        QObject::connect(button, &QAbstractButton::clicked, button, [handler = std::move(handler)] { handler(); });
    else if (widget != nullptr)
        widget->installEventFilter(new ClickFilter(widget, std::move(handler)));
}

void ControlSet::onToggled(int id, std::function<void()> handler) {
    if (auto* button = qobject_cast<QAbstractButton*>(control(id)))
        QObject::connect(button, &QAbstractButton::toggled, button, [handler = std::move(handler)] { handler(); });
}

void ControlSet::onChanged(int id, std::function<void()> handler) {
    QWidget* widget = control(id);
    if (auto* edit = qobject_cast<QLineEdit*>(widget))
        QObject::connect(edit, &QLineEdit::textChanged, edit, [handler = std::move(handler)] { handler(); });
    else if (auto* plain = qobject_cast<QPlainTextEdit*>(widget))
        QObject::connect(plain, &QPlainTextEdit::textChanged, plain, std::move(handler));
}

void ControlSet::onSelChange(int id, std::function<void()> handler) {
    QWidget* widget = control(id);
    if (auto* combo = qobject_cast<QComboBox*>(widget))
        QObject::connect(combo, &QComboBox::activated, combo, [handler = std::move(handler)] { handler(); });
    else if (auto* list = qobject_cast<QListWidget*>(widget))
        QObject::connect(list, &QListWidget::itemSelectionChanged, list, std::move(handler));
}

void ControlSet::onDoubleClicked(int id, std::function<void()> handler) {
    if (auto* list = qobject_cast<QListWidget*>(control(id)))
        QObject::connect(list, &QListWidget::itemDoubleClicked, list, [handler = std::move(handler)] { handler(); });
}

void buildMenuBar(QMenuBar* bar, const res::MenuTemplate& menu, const std::function<void(int)>& onCommand) {
    for (const res::MenuItem& item : menu.items) {
        if (!item.popup.empty()) {
            addItems(bar->addMenu(QString::fromLatin1(item.text)), item.popup, onCommand);
        } else {
            QAction* action = bar->addAction(QString::fromLatin1(item.text));
            action->setData(item.command);
            QObject::connect(action, &QAction::triggered, bar, [onCommand, id = item.command] { onCommand(id); });
        }
    }
}

QAction* findCommand(QMenuBar* bar, int command) {
    for (QAction* action : bar->findChildren<QAction*>())
        if (action->data().isValid() && action->data().toInt() == command) return action;
    return nullptr;
}

void removeCommand(QMenuBar* bar, int command) {
    QAction* action = findCommand(bar, command);
    delete action;  // a deleted action leaves every menu that shows it
}

}  // namespace ui
