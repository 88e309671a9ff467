#include "controls/chk_gbox.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QRadioButton>
#include <QSignalBlocker>

namespace {

// An auto check box goes from any state, indeterminate included, to checked, and from
// checked to unchecked; a click never makes it indeterminate.
class TitleCheckBox : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

protected:
    void nextCheckState() override {
        const bool wasChecked = checkState() == Qt::Checked;
        setTristate(false);
        setCheckState(wasChecked ? Qt::Unchecked : Qt::Checked);
    }
};

}  // namespace

CChkGBox::CChkGBox(QWidget* parent) : QGroupBox(parent) {}

CChkGBox::~CChkGBox() = default;

void CChkGBox::CreateTitleButton(int style) {
    if (style != kCheckBoxStyle && style != kRadioStyle) return;
    const QString caption = title();
    const QFontMetrics metrics(font());
    if (style == kCheckBoxStyle)
        m_pTitle = std::make_unique<TitleCheckBox>(caption, this);
    else
        m_pTitle = std::make_unique<QRadioButton>(caption, this);
    m_pTitle->setObjectName(QString::number(kTitleButtonId));
    // The button covers the frame line where the caption was, so the caption shows once.
    setTitle(QString());
    m_pTitle->setAutoFillBackground(true);
    m_pTitle->setGeometry(5, 0, metrics.horizontalAdvance(caption) + 25, metrics.height());
    // The framed controls follow the box's state however it changes.
    if (auto* box = qobject_cast<QCheckBox*>(m_pTitle.get()))
        connect(box, &QCheckBox::stateChanged, this, &CChkGBox::OnTitleClicked);
    else
        connect(m_pTitle.get(), &QAbstractButton::toggled, this, &CChkGBox::OnTitleClicked);
    m_pTitle->show();
}

int CChkGBox::GetCheck() const {
    if (!m_pTitle) return 0;
    if (auto* box = qobject_cast<QCheckBox*>(m_pTitle.get())) {
        switch (box->checkState()) {
        case Qt::Unchecked:
            return 0;
        case Qt::Checked:
            return 1;
        case Qt::PartiallyChecked:
            return 2;
        }
    }
    return m_pTitle->isChecked() ? 1 : 0;
}

void CChkGBox::SetCheck(int state) {
    if (m_pTitle) {
        const QSignalBlocker quiet(m_pTitle.get());
        if (auto* box = qobject_cast<QCheckBox*>(m_pTitle.get())) {
            box->setTristate(state == 2);
            box->setCheckState(state == 1 ? Qt::Checked
                               : state == 2 ? Qt::PartiallyChecked
                                            : Qt::Unchecked);
        } else {
            m_pTitle->setChecked(state == 1);
        }
    }
    EnableGroupControls();
}

void CChkGBox::EnableGroupControls() {
    QWidget* dialog = parentWidget();
    if (dialog == nullptr) return;
    const bool enable = GetCheck() == 1;
    const QRect frame = geometry();
    for (QObject* child : dialog->children()) {
        auto* control = qobject_cast<QWidget*>(child);
        if (control == nullptr || control == this || control->isWindow()) continue;
        if (control->geometry().intersects(frame)) control->setEnabled(enable);
    }
}

void CChkGBox::OnTitleClicked() {
    EnableGroupControls();
    if (qobject_cast<QRadioButton*>(m_pTitle.get()) == nullptr || !m_pTitle->isChecked() ||
        parentWidget() == nullptr)
        return;
    for (QObject* child : parentWidget()->children()) {
        auto* other = qobject_cast<CChkGBox*>(child);
        if (other != nullptr && other != this && other->GetGroupId() == m_nGroupId)
            other->SetCheck(0);
    }
}
