#include "controls/hex_addr_edit.h"

#include <gtest/gtest.h>

#include "support/widget_render.h"

TEST(HexAddrEdit, DoubleFrameAndSuffixStrip) {
    CHexAddrEdit edit;
    EXPECT_EQ(edit.suffix(), "0");
    EXPECT_EQ(CHexAddrEdit2().suffix(), "00");
    edit.resize(80, 24);
    const QImage img = renderWidget(edit);
    EXPECT_EQ(pixelRef(img, 0, 0), 0x707070u);
    EXPECT_EQ(pixelRef(img, 79, 23), 0xF0F0F0u);
    EXPECT_EQ(pixelRef(img, 1, 1), 0xA8A8A8u);
    EXPECT_EQ(pixelRef(img, 78, 22), 0xFFFFFFu);
    const QRect strip = edit.suffixRect();
    EXPECT_EQ(strip, QRect(80 - 2 - 12 + 2, 4, 8, 16));
    EXPECT_EQ(pixelRef(img, strip.right(), strip.bottom()), refFromColor(edit.palette().color(QPalette::Button)));
}
