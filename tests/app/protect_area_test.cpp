#include <QImage>
#include <gtest/gtest.h>

#include "app/protect_area.h"

namespace {

const QRgb kGreen = qRgb(0, 255, 0);
const QRgb kRed = qRgb(255, 0, 0);
const QRgb kOrange = qRgb(255, 128, 0);
const QRgb kBlack = qRgb(0, 0, 0);
const QRgb kWhite = qRgb(255, 255, 255);

// Paints the map into a control larger than the map, on white.
QImage render(uint16_t mask, uint32_t type) {
    CProtectArea map;
    map.resize(110, 20);
    map.m_wMask = mask;
    map.m_nType = type;
    QImage image(110, 20, QImage::Format_RGB32);
    image.fill(Qt::white);
    map.render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
    return image;
}

// The colour the map should show at (x, y) for a given fill of each cell.
QRgb expected(int x, int y, uint16_t mask, QRgb fill) {
    if ((y == 0 && x <= 95) || (x == 96 && y <= 13) || (y == 14 && x >= 1 && x <= 96) || (x == 0 && y <= 14))
        return kBlack;
    if (x > 96 || y > 14 || x == 96 || y == 14) return kWhite;
    return (mask >> (x / 6)) & 1 ? fill : kGreen;
}

TEST(ProtectArea, PaintsCellsFrameAndNothingBeyond) {
    const struct { uint16_t mask; uint32_t type; QRgb fill; } cases[] = {
        {0x0001, 0, kRed}, {0x8000, 1, kOrange}, {0xFFFF, 0, kRed}, {0xFFFF, 1, kOrange}, {0xA5A5, 2, kGreen},
        {0x0000, 0, kRed},
    };
    for (const auto& c : cases) {
        const QImage image = render(c.mask, c.type);
        const uint16_t drawn = c.type <= 1 ? c.mask : 0;
        int wrong = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixel(x, y) != expected(x, y, drawn, c.fill) && ++wrong < 4)
                    ADD_FAILURE() << "mask " << c.mask << " type " << c.type << " at " << x << "," << y;
        EXPECT_EQ(wrong, 0);
    }
}

// Fixed pixels of the first and last cell, apart from the model above.
TEST(ProtectArea, SpotChecksOfTheFirstAndLastCell) {
    const struct { uint16_t mask; uint32_t type; int x, y; QRgb colour; } spots[] = {
        {0x0001, 0, 5, 7, kRed}, {0x0001, 0, 6, 7, kGreen}, {0x8000, 1, 89, 7, kGreen},
        {0x8000, 1, 90, 7, kOrange}, {0x8000, 1, 95, 13, kOrange}};
    for (const auto& s : spots) EXPECT_EQ(render(s.mask, s.type).pixel(s.x, s.y), s.colour) << s.x << "," << s.y;
}

}  // namespace
