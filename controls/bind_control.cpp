#include "controls/bind_control.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLayout>
#include <QLineEdit>
#include <QVariant>

void bindControl(QWidget* placeholder, QWidget& control) {
    if (placeholder == nullptr || placeholder == &control) return;
    QWidget* dialog = placeholder->parentWidget();
    control.setParent(dialog);
    if (dialog != nullptr && dialog->layout() != nullptr)
        dialog->layout()->replaceWidget(placeholder, &control);
    control.setGeometry(placeholder->geometry());
    control.setObjectName(placeholder->objectName());
    for (const QByteArray& name : placeholder->dynamicPropertyNames())
        control.setProperty(name.constData(), placeholder->property(name.constData()));
    if (placeholder->testAttribute(Qt::WA_SetFont)) control.setFont(placeholder->font());
    control.setToolTip(placeholder->toolTip());

    if (auto* from = qobject_cast<QLineEdit*>(placeholder))
        if (auto* to = qobject_cast<QLineEdit*>(&control)) to->setText(from->text());
    if (auto* from = qobject_cast<QAbstractButton*>(placeholder))
        if (auto* to = qobject_cast<QAbstractButton*>(&control)) to->setText(from->text());
    if (auto* from = qobject_cast<QGroupBox*>(placeholder))
        if (auto* to = qobject_cast<QGroupBox*>(&control)) to->setTitle(from->title());

    control.setEnabled(placeholder->isEnabled());
    control.stackUnder(placeholder);
    control.setVisible(!placeholder->isHidden());
    // Out of the dialog at once, so no lookup finds it any more; Qt frees it later.
    placeholder->hide();
    placeholder->setParent(nullptr);
    placeholder->deleteLater();
}
