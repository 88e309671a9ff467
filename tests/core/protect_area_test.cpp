#include <QImage>
#include <gtest/gtest.h>

#include "core/protect_area.h"

namespace {

const QRgb kGreen = qRgb(0, 255, 0), kRed = qRgb(255, 0, 0), kOrange = qRgb(255, 128, 0);
const QRgb kBlack = qRgb(0, 0, 0), kWhite = qRgb(255, 255, 255);

// The colour the map should show at (x, y): a black frame round sixteen 6-pixel cells, a cell
// filled when its mask bit is set, white beyond.
QRgb expected(int x, int y, uint16_t mask, QRgb fill) {
    if ((y == 0 && x <= 95) || (x == 96 && y <= 13) || (y == 14 && x >= 1 && x <= 96) || (x == 0 && y <= 14))
        return kBlack;
    if (x >= 96 || y >= 14) return kWhite;
    return (mask >> (x / 6)) & 1 ? fill : kGreen;
}

// Painted into a control larger than the map, on white. Fixed pixels of the first and last
// cell pin the model above.
TEST(ProtectArea, PaintsCellsFrameAndNothingBeyond) {
    const struct { uint16_t mask; uint32_t type; QRgb fill; int spotX; QRgb spot; } cases[] = {
        {0x0001, 0, kRed, 5, kRed},   {0x0001, 0, kRed, 6, kGreen},   {0x8000, 1, kOrange, 89, kGreen},
        {0x8000, 1, kOrange, 90, kOrange}, {0xFFFF, 0, kRed, 95, kRed}, {0xA5A5, 2, kGreen, 0, kBlack},
        {0x0000, 0, kRed, 50, kGreen},
    };
    for (const auto& c : cases) {
        CProtectArea map;
        map.resize(110, 20);
        map.m_wMask = c.mask;
        map.m_nType = c.type;
        QImage image(110, 20, QImage::Format_RGB32);
        image.fill(Qt::white);
        map.render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
        EXPECT_EQ(image.pixel(c.spotX, 7), c.spot) << c.spotX;
        const uint16_t drawn = c.type <= 1 ? c.mask : 0;
        int wrong = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixel(x, y) != expected(x, y, drawn, c.fill) && ++wrong < 4)
                    ADD_FAILURE() << "mask " << c.mask << " type " << c.type << " at " << x << "," << y;
    }
}

}  // namespace
