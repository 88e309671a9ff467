#include <QApplication>
#include <gtest/gtest.h>

#include "bc_menu_state.h"
#include "controls/bc_menu.h"
#include "support/widget_render.h"

using namespace menus;

namespace {

constexpr COLORREF kRed = 0x0000FF;
constexpr COLORREF kBlue = 0xFF0000;
constexpr QRect kItem(0, 0, 150, 20);

// Bitmap 300 (a red square at (2,2), 4 by 4, on the face colour), 301 (the same in blue),
// 400 and 401 (check marks), and the two-picture strip 500 of the toolbar 500.
QImage squareBitmap(QSize size, std::initializer_list<std::pair<int, COLORREF>> squares) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(colorFromRef(GetSysColor(COLOR_3DFACE)));
    for (const auto& [x0, colour] : squares)
        for (int y = 2; y < 6; ++y)
            for (int x = x0 + 2; x < x0 + 6; ++x) image.setPixel(x, y, colorFromRef(colour).rgb());
    return image;
}

void installResources() {
    BCMenu::SetResourceLookup(
        [](int id) -> QImage {
            switch (id) {
                case 300: case 400: return squareBitmap({16, 15}, {{0, kRed}});
                case 301: case 401: return squareBitmap({16, 15}, {{0, kBlue}});
                case 500: return squareBitmap({40, 18}, {{0, kRed}, {20, kBlue}});
                default: return {};
            }
        },
        [](int id) -> std::optional<ToolbarResource> {
            if (id != 500) return std::nullopt;
            return ToolbarResource{20, 18, {0, 5, 0, 6}};
        });
}

class BCMenuPaint : public testing::Test {
protected:
    void SetUp() override {
        resetMenuState();
        installResources();
        menu.CreatePopupMenu();
    }
    void TearDown() override { resetMenuState(); }

    QImage draw(const BCMenuData& record, uint32_t state) {
        QImage image(kItem.size(), QImage::Format_RGB32);
        image.fill(QColor(0x12, 0x34, 0x56));
        QPainter p(&image);
        menu.DrawItem({&p, kItem, state, &record});
        return image;
    }
    const BCMenuData& append(const QString& text, std::uintptr_t id, int imageId = -1) {
        menu.AppendItem(text, 0, id, imageId);
        return *menu.items().back();
    }
    static bool anyPixel(const QImage& img, QRect area, COLORREF colour) {
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                if (pixelRef(img, x, y) == colour) return true;
        return false;
    }

    BCMenu menu;
};

COLORREF sys(int index) { return GetSysColor(index); }

}  // namespace

TEST(BCMenuColours, BlendTowardsWhiteOrBlackWithinTheFactorRange) {
    struct Case {
        COLORREF colour;
        double factor;
        COLORREF white, black;
    };
    for (const Case& c : {Case{0x000000, 0.5, 0x7F7F7F, 0x000000}, Case{0xFFFFFF, 0.5, 0xFFFFFF, 0x7F7F7F},
                          Case{0x204080, 0.3, 0x6279A6, 0x162C59}, Case{0x204080, 1.0, 0xFFFFFF, 0x000000},
                          Case{0x204080, 0.0, 0x204080, 0x204080}, Case{0x204080, 1.5, 0x204080, 0x204080},
                          Case{0x204080, -0.2, 0x204080, 0x204080}}) {
        EXPECT_EQ(BCMenu::BlendToWhite(c.colour, c.factor), c.white) << std::hex << c.colour << " " << c.factor;
        EXPECT_EQ(BCMenu::BlendToBlack(c.colour, c.factor), c.black) << std::hex << c.colour << " " << c.factor;
    }
}

TEST_F(BCMenuPaint, ClassicLookFillsHighlightChecksAndSeparators) {
    const COLORREF B = sys(COLOR_MENU), H = sys(COLOR_HIGHLIGHT);
    const COLORREF checkFill = BCMenu::BlendToWhite(B, 0.6);
    const BCMenuData& plain = append("Open", 1);
    const BCMenuData& separator = append("", 0);
    struct Case {
        const char* what;
        const BCMenuData* record;
        uint32_t state;
        std::vector<std::pair<QPoint, COLORREF>> pixels;
    };
    const Case cases[] = {
        {"plain", &plain, 0, {{{2, 10}, B}, {{149, 19}, B}}},
        {"highlighted", &plain, ODS_SELECTED, {{{0, 0}, H}, {{2, 10}, H}, {{149, 19}, H}}},
        // A check mark leaves the picture column unhighlighted.
        {"highlighted checked", &plain, ODS_SELECTED | ODS_CHECKED, {{{20, 10}, B}, {{21, 10}, H}, {{5, 8}, sys(COLOR_MENUTEXT)}}},
        // The box (1,2)-(17,17) with a tick from (5,6): strokes of three from y + 2, 3, 4, 3, 2, 1, 0.
        {"checked", &plain, ODS_CHECKED,
         {{{1, 2}, checkFill}, {{16, 16}, checkFill}, {{0, 2}, B}, {{5, 7}, checkFill}, {{5, 8}, sys(COLOR_MENUTEXT)},
          {{5, 10}, sys(COLOR_MENUTEXT)}, {{5, 11}, checkFill}, {{7, 10}, sys(COLOR_MENUTEXT)}, {{11, 6}, sys(COLOR_MENUTEXT)},
          {{11, 9}, checkFill}, {{12, 6}, checkFill}}},
        {"separator", &separator, 0, {{{5, 9}, B}, {{5, 10}, sys(COLOR_3DSHADOW)}, {{5, 11}, sys(COLOR_3DHILIGHT)}, {{5, 12}, B}}},
    };
    for (const Case& c : cases) {
        const QImage img = draw(*c.record, c.state);
        for (const auto& [at, colour] : c.pixels)
            EXPECT_EQ(pixelRef(img, at.x(), at.y()), colour) << c.what << " at " << at.x() << "," << at.y();
    }
    // Text sits right of the picture column in the text colour of the state.
    EXPECT_TRUE(anyPixel(draw(plain, 0), QRect(25, 0, 100, 20), sys(COLOR_MENUTEXT)));
    EXPECT_FALSE(anyPixel(draw(plain, 0), QRect(0, 0, 25, 20), sys(COLOR_MENUTEXT)));
    EXPECT_TRUE(anyPixel(draw(plain, ODS_SELECTED), QRect(25, 0, 100, 20), sys(COLOR_HIGHLIGHTTEXT)));
}

TEST_F(BCMenuPaint, DisabledItemsAreGreyAndOnlyTheClassicLookHighlightsThem) {
    const BCMenuData& plain = append("Open", 1);
    const QRect text(25, 0, 100, 20);
    struct Case {
        int drawMode;
        uint32_t state;
        COLORREF background, textColour;
    };
    const COLORREF S = BCMenu::BlendToWhite(sys(COLOR_3DFACE), 0.25);
    for (const Case& c : {Case{0, ODS_GRAYED, sys(COLOR_MENU), sys(COLOR_GRAYTEXT)},
                          Case{0, ODS_GRAYED | ODS_SELECTED, sys(COLOR_HIGHLIGHT), sys(COLOR_MENU)},
                          Case{1, ODS_GRAYED, sys(COLOR_WINDOW), BCMenu::BlendToWhite(sys(COLOR_GRAYTEXT), 0.4)},
                          Case{1, ODS_GRAYED | ODS_SELECTED, sys(COLOR_WINDOW), BCMenu::BlendToWhite(sys(COLOR_GRAYTEXT), 0.4)}}) {
        BCMenu::SetDrawMode(c.drawMode);
        const QImage img = draw(plain, c.state);
        EXPECT_EQ(pixelRef(img, 140, 1), c.background) << c.drawMode << " " << c.state;
        EXPECT_TRUE(anyPixel(img, text, c.textColour)) << c.drawMode << " " << c.state;
        EXPECT_FALSE(anyPixel(img, text, sys(COLOR_MENUTEXT))) << c.drawMode << " " << c.state;
        if (c.drawMode == 1) {
            EXPECT_EQ(pixelRef(img, 1, 1), S);
        }
    }
}

TEST_F(BCMenuPaint, XpLookHasAPictureStripAndAFramedHighlight) {
    const BCMenuData& plain = append("Open", 1);
    const BCMenuData& separator = append("", 0);
    const COLORREF H = sys(COLOR_HIGHLIGHT), F = BCMenu::BlendToWhite(H, 0.85);
    // The older system's own theme draws the strip in the face colour, elsewhere it is lighter.
    for (const bool themed : {false, true}) {
        platform::setOsVersionForTest(themed ? platform::OsVersion{5, 1} : platform::OsVersion{});
        BCMenu::g_bcmShellType = BCMenu::GetShellType();
        BCMenu::SetDrawMode(0);
        BCMenu::g_bcmDrawModeXp = 1;
        if (!themed) BCMenu::SetDrawMode(1);
        const COLORREF S = themed ? sys(COLOR_3DFACE) : BCMenu::BlendToWhite(sys(COLOR_3DFACE), 0.25);
        const COLORREF Fill = themed ? BCMenu::BlendToWhite(H, 0.7) : F;
        QImage img = draw(plain, 0);
        EXPECT_EQ((std::array{pixelRef(img, 0, 0), pixelRef(img, 22, 19), pixelRef(img, 23, 0)}),
                  (std::array{S, S, sys(COLOR_WINDOW)})) << themed;
        img = draw(plain, ODS_SELECTED);
        EXPECT_EQ((std::array{pixelRef(img, 0, 0), pixelRef(img, 149, 19), pixelRef(img, 1, 1), pixelRef(img, 140, 10)}),
                  (std::array{H, H, Fill, Fill})) << themed;
        // The 16-pixel check box at (4,2), framed in the highlight colour, its tick from (9,6).
        img = draw(plain, ODS_CHECKED);
        EXPECT_EQ((std::array{pixelRef(img, 4, 2), pixelRef(img, 19, 17), pixelRef(img, 5, 3), pixelRef(img, 9, 8)}),
                  (std::array{H, H, F, sys(COLOR_MENUTEXT)})) << themed;
        // A device with a palette always gets the classic look.
        QImage palette(kItem.size(), QImage::Format_RGB32);
        {
            QPainter p(&palette);
            menu.DrawItem({&p, kItem, 0, &plain, true});
        }
        EXPECT_EQ(pixelRef(palette, 1, 1), themed ? sys(COLOR_3DFACE) : sys(COLOR_MENU)) << themed;
        img = draw(separator, 0);
        EXPECT_EQ((std::array{pixelRef(img, 5, 10), pixelRef(img, 29, 10), pixelRef(img, 30, 10), pixelRef(img, 30, 11)}),
                  (std::array{S, sys(COLOR_WINDOW), sys(COLOR_3DSHADOW), sys(COLOR_3DHILIGHT)})) << themed;
    }
}

TEST_F(BCMenuPaint, SharedPicturesCarryFadedAndShadowCopiesThatAReplacementRenews) {
    for (const int drawMode : {1, 0}) {
        resetMenuState();
        installResources();
        BCMenu::SetDrawMode(drawMode);
        const size_t perPicture = drawMode == 1 ? 3 : 1;
        const BCMenuData& open = append("Open", 5, 300);
        const BCMenuData& save = append("Save", 6, 301);
        EXPECT_EQ(open.globalImage, 0);
        EXPECT_EQ(save.globalImage, static_cast<int>(perPicture));
        ASSERT_EQ(BCMenu::g_bcmImageIds.size(), 2 * perPicture);
        // An item of a command that has a picture shows it; a new picture replaces it in place.
        EXPECT_EQ(append("Open again", 5).globalImage, 0);
        menu.ModifyItem(QString(), 5, 301);
        EXPECT_EQ(BCMenu::g_bcmImageIds.size(), 2 * perPicture);
        const QImage normal = BCMenu::g_bcmImageList.ExtractIcon(0);
        EXPECT_EQ(normal.pixel(3, 3), colorFromRef(kBlue).rgb()) << drawMode;
        EXPECT_EQ(qAlpha(normal.pixel(0, 0)), 0) << drawMode;
        if (drawMode == 0) continue;
        const QImage faded = BCMenu::g_bcmImageList.ExtractIcon(1);
        const QImage shadow = BCMenu::g_bcmImageList.ExtractIcon(2);
        EXPECT_EQ(faded.pixel(3, 3), colorFromRef(BCMenu::BlendToWhite(kBlue, 0.3)).rgb());
        EXPECT_EQ(shadow.pixel(3, 3), colorFromRef(BCMenu::BlendToWhite(sys(COLOR_3DSHADOW), 0.49)).rgb());
        EXPECT_EQ(qAlpha(faded.pixel(0, 0)), 0);
        EXPECT_EQ(qAlpha(shadow.pixel(9, 9)), 0);
        // In the strip the faded copy rests at (4,3); highlighted, the picture floats one
        // pixel up and left over its shadow one pixel right and down.
        const BCMenuData& item = *menu.items()[0];
        QImage img = draw(item, 0);
        EXPECT_EQ(pixelRef(img, 4 + 2, 3 + 2), BCMenu::BlendToWhite(kBlue, 0.3));
        img = draw(item, ODS_SELECTED);
        EXPECT_EQ(pixelRef(img, 3 + 2, 2 + 2), kBlue);
        EXPECT_EQ(pixelRef(img, 5 + 5, 4 + 5), BCMenu::BlendToWhite(sys(COLOR_3DSHADOW), 0.49));
    }
}

TEST_F(BCMenuPaint, DisabledPicturesAreEtchedByEitherPainter) {
    const BCMenuData& open = append("Open", 5, 300);
    // The red square at picture (2,2)-(5,5), the picture at (2,2) in the item: shadow where
    // the square is, highlight one pixel right and down of it, the background elsewhere.
    for (const bool emboss : {false, true}) {
        if (emboss) menu.SetEmbossDisabled(); else menu.ClearEmbossDisabled();
        const QImage img = draw(open, ODS_GRAYED);
        EXPECT_EQ((std::array{pixelRef(img, 4, 4), pixelRef(img, 7, 7), pixelRef(img, 8, 8), pixelRef(img, 8, 5), pixelRef(img, 3, 3)}),
                  (std::array{sys(COLOR_3DSHADOW), sys(COLOR_3DSHADOW), sys(COLOR_3DHILIGHT), sys(COLOR_3DHILIGHT), sys(COLOR_MENU)}))
            << emboss;
    }
}

TEST_F(BCMenuPaint, CheckImagesSwatchesAndToolbarPictures) {
    BCMenu::SetDrawMode(1);
    menu.LoadCheckImages(400, 999);
    EXPECT_EQ(menu.checkImages(), nullptr);
    menu.LoadCheckImages(400, 401);
    ASSERT_NE(menu.checkImages(), nullptr);
    EXPECT_EQ(menu.checkImages()->GetImageCount(), 2);  // no faded copies between the two
    const BCMenuData& checked = append("Bold", 1);
    EXPECT_EQ(pixelRef(draw(checked, ODS_CHECKED), 4 + 2, 3 + 2), kRed);
    EXPECT_EQ(pixelRef(draw(checked, ODS_CHECKED | ODS_SELECTED), 4 + 2, 3 + 2), kBlue);

    BCMenu::SetDrawMode(0);
    const BCMenuData& colour = append("Colour", 7);
    menu.ModifyItem(QString(), 7, kRed, 0x000000, -1, QSize(10, 10));
    const QImage swatch = BCMenu::g_bcmImageList.ExtractIcon(colour.globalImage);
    EXPECT_EQ((std::array{swatch.pixel(3, 2), swatch.pixel(12, 11), swatch.pixel(4, 3), swatch.pixel(2, 2), swatch.pixel(13, 12)}),
              (std::array{QColor(Qt::black).rgb(), QColor(Qt::black).rgb(), colorFromRef(kRed).rgb(),
                          colorFromRef(sys(COLOR_MENU)).rgb(), colorFromRef(sys(COLOR_MENU)).rgb()}));

    // A toolbar with larger pictures enlarges the menu's pictures; its buttons' pictures go
    // to the commands the menu holds.
    const BCMenuData& cut = append("Cut", 5);
    const BCMenuData& copy = append("Copy", 6);
    EXPECT_FALSE(menu.LoadToolbarImages(501));
    ASSERT_TRUE(menu.LoadToolbarImages(500));
    EXPECT_EQ(menu.imageSize(), QSize(20, 18));
    EXPECT_EQ(BCMenu::g_bcmImageList.ExtractIcon(cut.globalImage).pixel(3, 3), colorFromRef(kRed).rgb());
    EXPECT_EQ(BCMenu::g_bcmImageList.ExtractIcon(copy.globalImage).pixel(3, 3), colorFromRef(kBlue).rgb());
}
