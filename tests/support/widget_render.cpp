#include "widget_render.h"

#include <QApplication>
#include <QTest>

QImage renderWidget(QWidget& widget, QColor marker) {
    QImage image(widget.size(), QImage::Format_RGB32);
    image.fill(marker);
    widget.render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
    return image;
}

uint32_t pixelRef(const QImage& image, int x, int y) {
    const QRgb rgb = image.pixel(x, y);
    return static_cast<uint32_t>(qRed(rgb)) | static_cast<uint32_t>(qGreen(rgb)) << 8 |
           static_cast<uint32_t>(qBlue(rgb)) << 16;
}

void showActive(QWidget& window) {
    window.show();
    window.activateWindow();
    QApplication::setActiveWindow(&window);
    (void)QTest::qWaitForWindowActive(&window);
}
