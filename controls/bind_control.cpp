#include "controls/bind_control.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLineEdit>

void bindControl(ui::ControlSet& controls, int id, QWidget& control) {
    QWidget* placeholder = controls.control(id);
    if (placeholder == nullptr || placeholder == &control) return;
    if (placeholder->testAttribute(Qt::WA_SetFont)) control.setFont(placeholder->font());
    if (auto* from = qobject_cast<QLineEdit*>(placeholder))
        if (auto* to = qobject_cast<QLineEdit*>(&control)) to->setText(from->text());
    if (auto* from = qobject_cast<QAbstractButton*>(placeholder))
        if (auto* to = qobject_cast<QAbstractButton*>(&control)) to->setText(from->text());
    if (auto* from = qobject_cast<QGroupBox*>(placeholder))
        if (auto* to = qobject_cast<QGroupBox*>(&control)) to->setTitle(from->title());
    controls.replace(id, &control);
}
