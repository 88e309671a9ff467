#include "controls/label_mark.h"

#include <QApplication>
#include <QEnterEvent>
#include <gtest/gtest.h>

#include "controls/gdi_paint.h"
#include "support/widget_render.h"

namespace {

void hover(CLabelMark& label, bool over) {
    if (over) {
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QApplication::sendEvent(&label, &enter);
    } else {
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(&label, &leave);
    }
}

}  // namespace

TEST(LabelMark, HoverLightsTheFaceAndTheCrossKeepsItsEndPointsOpen) {
    QWidget dialog;
    CLabelMark label(&dialog);
    label.resize(150, 20);
    const uint32_t face = refFromColor(label.palette().color(QPalette::Button));
    // Hover state after each event, and the colour of a background pixel then.
    for (const auto& [over, background] : {std::pair{true, 0x00EAEAFFu}, {false, face}, {true, 0x00EAEAFFu}}) {
        hover(label, over);
        EXPECT_EQ(label.isHovered(), over);
        const QImage img = renderWidget(label);
        EXPECT_EQ(pixelRef(img, 15, 1), background);
        // The two strokes run from (1,5) and (1,15); their end points (10,15) and (10,5) stay
        // open, the four marks close the cross.
        for (const QPoint black : {QPoint(1, 5), QPoint(1, 15), QPoint(6, 10), QPoint(0, 10), QPoint(10, 10),
                                   QPoint(6, 5), QPoint(6, 15), QPoint(9, 14), QPoint(9, 6)})
            EXPECT_EQ(pixelRef(img, black.x(), black.y()), 0u) << black.x() << "," << black.y();
        for (const QPoint open : {QPoint(10, 15), QPoint(10, 5), QPoint(0, 5), QPoint(12, 10)})
            EXPECT_EQ(pixelRef(img, open.x(), open.y()), background) << open.x() << "," << open.y();
        // The text starts right of the mark.
        bool textDrawn = false;
        for (int x = 14; x < 150 && !textDrawn; ++x)
            for (int y = 3; y < 20 && !textDrawn; ++y) textDrawn = pixelRef(img, x, y) == 0u;
        EXPECT_TRUE(textDrawn);
    }
    EXPECT_EQ(label.cursor().shape(), Qt::PointingHandCursor);
}
