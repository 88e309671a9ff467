#include <gtest/gtest.h>

#include "control_checks.h"
#include "controls/bc_menu.h"

using namespace menus;

namespace {

constexpr COLORREF kRed = 0x0000FF, kBlue = 0xFF0000;
constexpr QRect kItem(0, 0, 150, 20);

// 4 by 4 squares at (x + 2, 2) on the face colour.
QImage squares(QSize size, std::initializer_list<std::pair<int, COLORREF>> at) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(colorFromRef(GetSysColor(COLOR_3DFACE)));
    QPainter p(&image);
    for (const auto& [x0, colour] : at) p.fillRect(x0 + 2, 2, 4, 4, colorFromRef(colour));
    p.end();
    return image;
}

// Bitmaps 300 and 400 (a red square), 301 and 401 (a blue one), and the toolbar 500 with a
// red and a blue picture.
void installResources() {
    BCMenu::SetResourceLookup(
        [](int id) -> QImage {
            if (id == 500) return squares({40, 18}, {{0, kRed}, {20, kBlue}});
            if (id == 300 || id == 400 || id == 301 || id == 401) return squares({16, 15}, {{0, id % 2 ? kBlue : kRed}});
            return {};
        },
        [](int id) { return id == 500 ? std::optional(ToolbarResource{20, 18, {0, 5, 0, 6}}) : std::nullopt; });
}

class BCMenuPaint : public testing::Test {
protected:
    void SetUp() override {
        resetMenuState();
        installResources();
        menu.CreatePopupMenu();
    }
    void TearDown() override { resetMenuState(); }

    QImage draw(const BCMenuData& record, uint32_t state, bool palette = false) {
        QImage image(kItem.size(), QImage::Format_RGB32);
        image.fill(QColor(0x12, 0x34, 0x56));
        QPainter p(&image);
        menu.DrawItem({&p, kItem, state, &record, palette});
        return image;
    }
    const BCMenuData& append(const QString& text, std::uintptr_t id, int imageId = -1) {
        menu.AppendItem(text, 0, id, imageId);
        return *menu.items().back();
    }

    BCMenu menu;
};

}  // namespace

TEST(BCMenuColours, BlendTowardsWhiteOrBlackWithinTheFactorRange) {
    struct Case { COLORREF colour; double factor; COLORREF white, black; };
    for (const Case& c : {Case{0x000000, 0.5, 0x7F7F7F, 0x000000}, Case{0xFFFFFF, 0.5, 0xFFFFFF, 0x7F7F7F},
                          Case{0x204080, 0.3, 0x6279A6, 0x162C59}, Case{0x204080, 1.0, 0xFFFFFF, 0x000000},
                          Case{0x204080, 0.0, 0x204080, 0x204080}, Case{0x204080, 1.5, 0x204080, 0x204080},
                          Case{0x204080, -0.2, 0x204080, 0x204080}}) {
        EXPECT_EQ(BCMenu::BlendToWhite(c.colour, c.factor), c.white) << std::hex << c.colour << " " << c.factor;
        EXPECT_EQ(BCMenu::BlendToBlack(c.colour, c.factor), c.black) << std::hex << c.colour << " " << c.factor;
    }
}

TEST_F(BCMenuPaint, ClassicLookFillsHighlightChecksSeparatorsAndGreyText) {
    const COLORREF B = sys(COLOR_MENU), H = sys(COLOR_HIGHLIGHT), T = sys(COLOR_MENUTEXT);
    const COLORREF C = BCMenu::BlendToWhite(B, 0.6);
    const BCMenuData& plain = append("Open", 1);
    const BCMenuData& separator = append("", 0);
    struct Case { const char* what; const BCMenuData* record; uint32_t state; std::vector<PixelAt> pixels; };
    const Case cases[] = {
        {"plain", &plain, 0, {{2, 10, B}, {149, 19, B}}},
        {"highlighted", &plain, ODS_SELECTED, {{0, 0, H}, {2, 10, H}, {149, 19, H}}},
        // A check mark leaves the picture column unhighlighted.
        {"highlighted checked", &plain, ODS_SELECTED | ODS_CHECKED, {{20, 10, B}, {21, 10, H}, {5, 8, T}}},
        // The box (1,2)-(17,17) with a tick from (5,6): strokes of three from y + 2, 3, 4, 3, 2, 1, 0.
        {"checked", &plain, ODS_CHECKED, {{1, 2, C}, {16, 16, C}, {0, 2, B}, {5, 7, C}, {5, 8, T}, {5, 10, T},
                                          {5, 11, C}, {7, 10, T}, {11, 6, T}, {11, 9, C}, {12, 6, C}}},
        {"separator", &separator, 0, {{5, 9, B}, {5, 10, sys(COLOR_3DSHADOW)}, {5, 11, sys(COLOR_3DHILIGHT)}, {5, 12, B}}},
    };
    for (const Case& c : cases) expectPixels(draw(*c.record, c.state), c.pixels, c.what);
    // Text sits right of the picture column in the text colour of the state; disabled text is
    // grey, and highlighted only in this look.
    const QRect text(25, 0, 100, 20);
    EXPECT_FALSE(anyPixel(draw(plain, 0), QRect(0, 0, 25, 20), T));
    for (const auto& [state, bg, colour] : {std::tuple{0u, B, T}, {ODS_SELECTED, H, sys(COLOR_HIGHLIGHTTEXT)},
                                            {ODS_GRAYED, B, sys(COLOR_GRAYTEXT)}, {ODS_GRAYED | ODS_SELECTED, H, B}}) {
        const QImage img = draw(plain, state);
        EXPECT_EQ(pixelRef(img, 140, 1), bg) << state;
        EXPECT_TRUE(anyPixel(img, text, colour)) << state;
        EXPECT_TRUE(state == 0 || !anyPixel(img, text, T)) << state;
    }
}

TEST_F(BCMenuPaint, XpLookHasAPictureStripAndAFramedHighlight) {
    const BCMenuData& plain = append("Open", 1);
    const BCMenuData& separator = append("", 0);
    const COLORREF H = sys(COLOR_HIGHLIGHT), F = BCMenu::BlendToWhite(H, 0.85), W = sys(COLOR_WINDOW);
    // The older system's own theme draws the strip in the face colour, elsewhere it is lighter.
    for (const bool themed : {false, true}) {
        platform::setOsVersionForTest(themed ? platform::OsVersion{5, 1} : platform::OsVersion{});
        BCMenu::g_bcmShellType = BCMenu::GetShellType();
        BCMenu::SetDrawMode(themed ? 0 : 1);
        BCMenu::g_bcmDrawModeXp = 1;
        const COLORREF S = themed ? sys(COLOR_3DFACE) : BCMenu::BlendToWhite(sys(COLOR_3DFACE), 0.25);
        const COLORREF Fill = themed ? BCMenu::BlendToWhite(H, 0.7) : F;
        const std::string look = themed ? "themed" : "plain";
        expectPixels(draw(plain, 0), {{0, 0, S}, {22, 19, S}, {23, 0, W}}, look);
        expectPixels(draw(plain, ODS_SELECTED), {{0, 0, H}, {149, 19, H}, {1, 1, Fill}, {140, 10, Fill}}, look);
        // The 16-pixel check box at (4,2), framed in the highlight colour, its tick from (9,6).
        expectPixels(draw(plain, ODS_CHECKED), {{4, 2, H}, {19, 17, H}, {5, 3, F}, {9, 8, sys(COLOR_MENUTEXT)}}, look);
        expectPixels(draw(separator, 0), {{5, 10, S}, {29, 10, W}, {30, 10, sys(COLOR_3DSHADOW)}, {30, 11, sys(COLOR_3DHILIGHT)}}, look);
        // Disabled text is a lighter grey and never highlighted.
        for (const uint32_t state : {ODS_GRAYED, ODS_GRAYED | ODS_SELECTED}) {
            const QImage img = draw(plain, state);
            EXPECT_EQ(pixelRef(img, 140, 1), W) << look;
            EXPECT_TRUE(anyPixel(img, QRect(25, 0, 100, 20), BCMenu::BlendToWhite(sys(COLOR_GRAYTEXT), 0.4))) << look;
            EXPECT_FALSE(anyPixel(img, QRect(25, 0, 100, 20), sys(COLOR_MENUTEXT))) << look;
        }
        // A device with a palette always gets the classic look.
        EXPECT_EQ(pixelRef(draw(plain, 0, true), 1, 1), themed ? sys(COLOR_3DFACE) : sys(COLOR_MENU)) << look;
    }
}

TEST_F(BCMenuPaint, SharedPicturesCarryFadedAndShadowCopiesThatAReplacementRenews) {
    for (const int drawMode : {1, 0}) {
        resetMenuState();
        installResources();
        BCMenu::SetDrawMode(drawMode);
        const size_t perPicture = drawMode == 1 ? 3 : 1;
        EXPECT_EQ(append("Open", 5, 300).globalImage, 0);
        EXPECT_EQ(append("Save", 6, 301).globalImage, static_cast<int>(perPicture));
        // An item of a command that has a picture shows it; a new picture replaces it in place.
        EXPECT_EQ(append("Open again", 5).globalImage, 0);
        menu.ModifyItem(QString(), 5, 301);
        EXPECT_EQ(BCMenu::g_bcmImageIds.size(), 2 * perPicture);
        const QImage normal = BCMenu::g_bcmImageList.ExtractIcon(0);
        EXPECT_EQ(normal.pixel(3, 3), colorFromRef(kBlue).rgb()) << drawMode;
        EXPECT_EQ(qAlpha(normal.pixel(0, 0)), 0) << drawMode;
        if (drawMode == 0) continue;
        const COLORREF faded = BCMenu::BlendToWhite(kBlue, 0.3), shadow = BCMenu::BlendToWhite(sys(COLOR_3DSHADOW), 0.49);
        const QImage fadedIcon = BCMenu::g_bcmImageList.ExtractIcon(1), shadowIcon = BCMenu::g_bcmImageList.ExtractIcon(2);
        EXPECT_EQ((std::array{fadedIcon.pixel(3, 3), shadowIcon.pixel(3, 3)}),
                  (std::array{colorFromRef(faded).rgb(), colorFromRef(shadow).rgb()}));
        EXPECT_EQ(qAlpha(fadedIcon.pixel(0, 0)) + qAlpha(shadowIcon.pixel(9, 9)), 0);
        // In the strip the faded copy rests at (4,3); highlighted, the picture floats one
        // pixel up and left over its shadow one pixel right and down.
        EXPECT_EQ(pixelRef(draw(*menu.items()[0], 0), 6, 5), faded);
        expectPixels(draw(*menu.items()[0], ODS_SELECTED), {{5, 4, kBlue}, {10, 9, shadow}});
    }
}

TEST_F(BCMenuPaint, DisabledPicturesAreEtchedByEitherPainter) {
    const BCMenuData& open = append("Open", 5, 300);
    // The red square at picture (2,2)-(5,5), the picture at (2,2) in the item: shadow where
    // the square is, highlight one pixel right and down of it, the background elsewhere.
    const COLORREF S = sys(COLOR_3DSHADOW), L = sys(COLOR_3DHILIGHT);
    for (const bool emboss : {false, true}) {
        if (emboss) menu.SetEmbossDisabled(); else menu.ClearEmbossDisabled();
        expectPixels(draw(open, ODS_GRAYED), {{4, 4, S}, {7, 7, S}, {8, 8, L}, {8, 5, L}, {3, 3, sys(COLOR_MENU)}},
                     emboss ? "emboss" : "etch");
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
    EXPECT_EQ(pixelRef(draw(checked, ODS_CHECKED), 6, 5), kRed);
    EXPECT_EQ(pixelRef(draw(checked, ODS_CHECKED | ODS_SELECTED), 6, 5), kBlue);

    BCMenu::SetDrawMode(0);
    const BCMenuData& colour = append("Colour", 7);
    menu.ModifyItem(QString(), 7, kRed, 0x000000, -1, QSize(10, 10));
    const QImage swatch = BCMenu::g_bcmImageList.ExtractIcon(colour.globalImage);
    const QRgb black = qRgb(0, 0, 0), menuColour = colorFromRef(sys(COLOR_MENU)).rgb();
    EXPECT_EQ((std::array{swatch.pixel(3, 2), swatch.pixel(12, 11), swatch.pixel(4, 3), swatch.pixel(2, 2), swatch.pixel(13, 12)}),
              (std::array{black, black, colorFromRef(kRed).rgb(), menuColour, menuColour}));

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
