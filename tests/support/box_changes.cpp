#include "box_changes.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QTest>

const char* BoxChangeName(BoxChange how) {
    switch (how) {
    case BoxChange::Mouse: return "mouse";
    case BoxChange::SpaceKey: return "space key";
    case BoxChange::AccessibleToggle: return "accessibility toggle";
    }
    return "";
}

void ChangeBox(QAbstractButton* box, BoxChange how) {
    switch (how) {
    case BoxChange::Mouse: QTest::mouseClick(box, Qt::LeftButton, {}, box->rect().center()); break;
    case BoxChange::SpaceKey: QTest::keyClick(box, Qt::Key_Space); break;
    case BoxChange::AccessibleToggle:
        QAccessible::queryAccessibleInterface(box)->actionInterface()->doAction(
            QAccessibleActionInterface::toggleAction());
        break;
    }
}
