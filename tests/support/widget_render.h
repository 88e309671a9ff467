#pragma once
// Offscreen rendering of a widget for pixel checks, and colours as COLORREF values.
#include <QImage>
#include <QWidget>
#include <cstdint>

// The widget alone (no children, no background it does not paint itself), over a marker
// colour so that undrawn pixels can be told apart.
QImage renderWidget(QWidget& widget, QColor marker = QColor(0x12, 0x34, 0x56));
uint32_t pixelRef(const QImage& image, int x, int y);
// Shows a top-level window and waits until it is active, so focus changes arrive.
void showActive(QWidget& window);
