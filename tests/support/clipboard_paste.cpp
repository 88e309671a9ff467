#include "support/clipboard_paste.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <gtest/gtest.h>

void pasteThroughMenu(QLineEdit& field, const QString& text) {
    QApplication::clipboard()->setText(text);
    QContextMenuEvent open(QContextMenuEvent::Mouse, QPoint(2, 2), field.mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(&field, &open);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    QAction* paste = nullptr;
    for (QAction* action : menu->actions())
        if (action->text().startsWith("&Paste")) paste = action;
    ASSERT_TRUE(paste != nullptr && paste->isEnabled());
    paste->trigger();
    menu->close();
}
