#include "controls/wc_hex_button.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <algorithm>

#include "controls/bind_control.h"
#include "controls/gdi_paint.h"
#include "controls/hex_key_filter.h"
#include "controls/number_text.h"
#include "platform/services.h"

namespace {
constexpr COLORREF kDisabledLetter = 0x008C8C8C;

bool isChoicesKey(const QKeyEvent& event) {
    return event.key() == Qt::Key_Period && (event.modifiers() & Qt::ControlModifier);
}
}  // namespace

wcHexDecWnd::wcHexDecWnd(wcHexButton* owner)
    : QWidget(owner, Qt::Popup), m_pOwner(owner), m_list(this) {
    m_list.setObjectName(QString::number(kListId));
    m_list.setSelectionMode(QAbstractItemView::SingleSelection);
    m_list.setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list.installEventFilter(this);
    connect(&m_list, &QListWidget::clicked, this, [this] { OnChoiceClicked(); });
}

void wcHexDecWnd::FillAndPlace() {
    m_list.clear();
    int textWidth = 0;
    const QFontMetrics metrics(m_list.font());
    for (int i = 0; i < m_pOwner->GetChoiceCount(); ++i) {
        m_list.addItem(m_pOwner->GetChoiceName(i));
        QListWidgetItem* item = m_list.item(i);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        item->setCheckState(m_pOwner->GetChoiceValue(i) != 0 ? Qt::Checked : Qt::Unchecked);
        textWidth = std::max(textWidth, metrics.horizontalAdvance(item->text()));
    }
    int itemsHeight = 0;
    for (int i = 0; i < m_list.count(); ++i) itemsHeight += m_list.sizeHintForRow(i);
    const int labelOffset = m_list.style()->pixelMetric(QStyle::PM_IndicatorWidth) + 8;
    const int border = m_list.frameWidth();
    const int w = std::max(kMinWidth, textWidth + labelOffset + 2 * border + 8);
    const int h = itemsHeight + 2 * border;

    const QRect owner(m_pOwner->mapToGlobal(QPoint(0, 0)), m_pOwner->size());
    const QRect window = m_pOwner->window()->frameGeometry();
    const int ownerBottom = owner.y() + owner.height();
    const int windowBottom = window.y() + window.height();
    const int top = windowBottom - ownerBottom - 2 * h < 1 ? owner.y() - h : ownerBottom;
    setGeometry(owner.x(), top, w, h);
    m_list.setGeometry(0, 0, w, h);
}

void wcHexDecWnd::OnChoiceClicked() {
    const QList<QListWidgetItem*> selected = m_list.selectedItems();
    if (selected.isEmpty()) return;
    const int index = m_list.row(selected.front());
    m_pOwner->SetHexMode(index == 0 ? 1 : 0);
    for (int i = 0; i < m_list.count(); ++i)
        m_list.item(i)->setCheckState(i == index ? Qt::Checked : Qt::Unchecked);
    m_pOwner->DrawButton(wcHexButton::Normal);
    Close();
}

void wcHexDecWnd::Close() {
    hide();
}

void wcHexDecWnd::hideEvent(QHideEvent* event) {
    // Every way the list closes (a choice, Enter, Escape, a click elsewhere) ends here.
    for (int i = 0; i < m_list.count() && i < m_pOwner->GetChoiceCount(); ++i)
        m_pOwner->SetChoiceValue(i, m_list.item(i)->checkState() == Qt::Checked ? 1 : 0);
    m_pOwner->DrawButton(wcHexButton::Normal);
    QWidget::hideEvent(event);
}

bool wcHexDecWnd::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &m_list && event->type() == QEvent::KeyPress && OnListKeyDown(static_cast<QKeyEvent*>(event)->key()))
        return true;
    return QWidget::eventFilter(watched, event);
}

bool wcHexDecWnd::OnListKeyDown(int key) {
    if (key != Qt::Key_Return && key != Qt::Key_Enter && key != Qt::Key_Escape) return false;
    Close();
    return true;
}

wcHexButton::wcHexButton(QWidget* parent)
    : QLineEdit(parent), m_pPopup(std::make_unique<wcHexDecWnd>(this)) {
    AddChoice(QStringLiteral("Hex"), 1);
    AddChoice(QStringLiteral("Dec"), 0);
    updateMargins();
}

wcHexButton::~wcHexButton() = default;

void wcHexButton::AddChoice(const QString& name, int value) {
    m_choices.push_back(CChoice{value, name});
    if (m_bAutoEnable != 0) setEnabled(!m_choices.empty());
}

int wcHexButton::GetChoiceValue(int index) const {
    return m_choices.at(static_cast<size_t>(index)).m_nValue;
}

void wcHexButton::SetChoiceValue(int index, int value) {
    m_choices.at(static_cast<size_t>(index)).m_nValue = value;
}

int wcHexButton::borderWidth() const {
    return hasFrame() ? style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this) : 0;
}

QRect wcHexButton::buttonRect() const {
    const int frame = borderWidth();
    const int h = height() - 2 * frame;
    const int w = h * 8 / 10;
    const int left = m_bButtonOnLeft != 0 ? frame : width() - frame - w;
    return QRect(left, frame, w, h).normalized();
}

QPoint wcHexButton::letterAt() const {
    // Four pixels from the field's left edge when the button is on the left; on the right,
    // the same place within the button.
    const QRect button = buttonRect();
    return QPoint(button.x() - borderWidth() + 4, button.height() / 6);
}

void wcHexButton::updateMargins() {
    const int w = buttonRect().width();
    if (m_bButtonOnLeft != 0)
        setTextMargins(w, 0, 0, 0);
    else
        setTextMargins(0, 0, w, 0);
}

void wcHexButton::SetButtonOnLeft(bool onLeft) {
    m_bButtonOnLeft = onLeft ? 1 : 0;
    updateMargins();
    update();
}

bool wcHexButton::HitButton(const QPoint& globalPos) const {
    return buttonRect().contains(mapFromGlobal(globalPos));
}

void wcHexButton::DrawButton(int state) {
    if (!isEnabled()) state = Disabled;
    if (m_bShownHex != m_bHex) {
        const QString current = text();
        if (!current.isEmpty()) {
            // A text that yields no number, or one beyond 32 bits, stays as it is.
            if (m_bHex != 0) {
                if (const auto v = scanDecText(current.toStdString()))
                    setText(QString::asprintf("%X", *v));
            } else {
                if (const auto v = scanHexText(current.toUpper().toStdString()))
                    setText(QString::asprintf("%d", static_cast<int32_t>(*v)));
            }
        }
        m_bShownHex = m_bHex;
    }
    m_nDrawnState = state;
    update();
}

void wcHexButton::ShowChoices() {
    m_bShownHex = m_bHex;
    DrawButton(Pressed);
    m_pPopup->FillAndPlace();
    m_pPopup->show();
    m_pPopup->list()->setFocus(Qt::PopupFocusReason);
}

bool wcHexButton::event(QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const auto& key = *static_cast<QKeyEvent*>(event);
        if (!isChoicesKey(key)) {
            switch (classifyHexKey(key, m_bHex != 0)) {
            case HexKey::Pass:
                break;
            case HexKey::Enter:
            case HexKey::Drop:
                event->accept();
                return true;
            }
        }
    }
    return QLineEdit::event(event);
}

void wcHexButton::keyPressEvent(QKeyEvent* event) {
    if (isChoicesKey(*event)) ShowChoices();
    QLineEdit::keyPressEvent(event);
}

void wcHexButton::paintEvent(QPaintEvent* event) {
    QLineEdit::paintEvent(event);
    QPainter p(this);
    QRect button = buttonRect();
    p.fillRect(button, palette().color(QPalette::Button));
    button.adjust(1, 1, -1, -1);
    // Raised in every state.
    gdi::draw3dRect(p, button, palette().color(QPalette::Light), palette().color(QPalette::Dark));
    p.setPen(isEnabled() ? QColor(Qt::black) : colorFromRef(kDisabledLetter));
    const QPoint letter = letterAt();
    p.drawText(QPoint(letter.x(), letter.y() + p.fontMetrics().ascent()),
               m_bHex != 0 ? QStringLiteral("x") : QStringLiteral("d"));
}

void wcHexButton::resizeEvent(QResizeEvent* event) {
    QLineEdit::resizeEvent(event);
    updateMargins();
}

void wcHexButton::changeEvent(QEvent* event) {
    QLineEdit::changeEvent(event);
    if (event->type() == QEvent::EnabledChange) DrawButton(isEnabled() ? Normal : Disabled);
}

void wcHexButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && buttonRect().contains(event->position().toPoint())) {
        m_bTracking = 1;
        setFocus(Qt::MouseFocusReason);
        DrawButton(Pressed);
        event->accept();
        return;
    }
    QLineEdit::mousePressEvent(event);
}

void wcHexButton::mouseMoveEvent(QMouseEvent* event) {
    if (m_bTracking != 0) {
        const int state = buttonRect().contains(event->position().toPoint()) ? Pressed : Normal;
        if (m_nDrawnState != state) DrawButton(state);
        event->accept();
        return;
    }
    QLineEdit::mouseMoveEvent(event);
}

void wcHexButton::mouseReleaseEvent(QMouseEvent* event) {
    if (m_bTracking != 0) {
        m_bTracking = 0;
        if (m_nDrawnState != Normal) DrawButton(Normal);
        if (buttonRect().contains(event->position().toPoint())) ShowChoices();
        event->accept();
        return;
    }
    QLineEdit::mouseReleaseEvent(event);
}

bool wcHexButton::CreateEx(bool buttonOnLeft, uint32_t exStyle, const QString& text, uint32_t style, const QRect& rect,
                           QWidget* parent, int id) {
    if (parent == nullptr || m_bBound) return false;
    setParent(parent);
    ui::setControlId(this, id);
    setGeometry(rect);
    setFrame((exStyle & WS_EX_CLIENTEDGE) != 0 || (style & WS_BORDER) != 0);
    setFont(parent->font());
    setText(text);
    setEnabled((style & WS_DISABLED) == 0);
    SetButtonOnLeft(buttonOnLeft);
    setVisible((style & WS_VISIBLE) != 0);
    m_bBound = true;
    return true;
}

bool wcHexButton::SendMessage(unsigned message, quintptr wParam) {
    if (message != kMsgForward && message != kMsgForwardAfterReset) return false;
    if (message == kMsgForwardAfterReset) DrawButton(Normal);
    emit parentMessage(message, wParam, ui::controlId(this));
    return true;
}

void wcHexButton::DefaultBeep() { MessageBeep(); }

void DDX_wcHexButton(ui::ControlSet& controls, int id, wcHexButton& field) {
    if (field.m_bBound) return;
    bindControl(controls, id, field);
    field.SetButtonOnLeft(true);
    field.m_bBound = true;
}
