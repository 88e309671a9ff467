#include "controls/bc_menu.h"

#include <QFontMetrics>
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <tuple>

#include "control_checks.h"
#include "res/menu.h"

using namespace menus;

namespace {

// Every test starts from the shared state a fresh program has.
class BCMenuTest : public testing::Test {
protected:
    void SetUp() override { resetMenuState(); }
    void TearDown() override { resetMenuState(); }
};

// The texts of a menu's records, after checking that each item carries its own record (the
// painter and the measure read it).
QStringList texts(const BCMenu& menu) {
    QStringList out;
    EXPECT_EQ(GetMenuItemCount(menu.GetSafeHmenu()), static_cast<int>(menu.items().size()));
    for (int i = 0; const auto& record : menu.items()) {
        EXPECT_EQ(GetMenuItemData(menu.GetSafeHmenu(), i++), record.get()) << record->text.toStdString();
        out << record->text;
    }
    return out;
}

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
        [](int id) { return id == 500 ? std::optional(BCMenuToolBar{20, 18, {0, 5, 0, 6}}) : std::nullopt; });
}

// A popup menu of the fresh state, with the pictures above, whose items draw on 150 x 20.
class BCMenuPaint : public BCMenuTest {
protected:
    void SetUp() override {
        resetMenuState();
        installResources();
        menu.CreatePopupMenu();
    }

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

TEST_F(BCMenuTest, NewItemsAreOwnerDrawnAndCommandZeroMakesASeparator) {
    struct Case { uint32_t flags; std::uintptr_t id; uint32_t recordFlags; };
    for (const Case& c : {Case{0, 0, 0x900}, Case{MF_BYPOSITION, 0, 0xD00}, Case{MF_CHECKED | MF_GRAYED, 0, 0x900},
                          Case{0, 7, 0x100}, Case{MF_CHECKED, 7, 0x108}, Case{MF_OWNERDRAW | MF_GRAYED, 7, 0x101}}) {
        BCMenu menu;
        menu.CreatePopupMenu();
        ASSERT_TRUE(menu.AppendItem("x", c.flags, c.id));
        texts(menu);
        EXPECT_EQ(menu.items()[0]->flags, c.recordFlags) << std::hex << c.flags;
        EXPECT_EQ(GetMenuState(menu.GetSafeHmenu(), 0, MF_BYPOSITION), c.recordFlags & ~MF_BYPOSITION);
    }
}

TEST_F(BCMenuTest, ModifyReachesEverySubMenuAndRemovingAPopupTakesItsSubMenuAlong) {
    BCMenu bar;
    bar.CreateMenu();
    BCMenu* file = bar.AppendPopup("File");
    BCMenu* edit = bar.AppendPopup("Edit");
    file->AppendItem("Open", 0, 10);
    edit->AppendItem("Cut", 0, 20);
    edit->AppendItem("Open too", 0, 10);
    ASSERT_TRUE(bar.ModifyItem("Reopen", 10));
    EXPECT_EQ(texts(*file), QStringList{"Reopen"});
    EXPECT_EQ(texts(*edit), (QStringList{"Cut", "Reopen"}));
    // Removing one of the two leaves the other whole (a shared record would now be freed).
    ASSERT_TRUE(edit->DeleteMenu(10, MF_BYCOMMAND));
    MeasureItemStruct measure{static_cast<const BCMenuData*>(GetMenuItemData(file->GetSafeHmenu(), 0))};
    file->MeasureItem(measure);
    EXPECT_EQ(texts(*file), QStringList{"Reopen"});
    const HMENU handle = file->GetSafeHmenu();
    ASSERT_TRUE(bar.DeleteMenu(0, MF_BYPOSITION));
    EXPECT_FALSE(BCMenu::IsOwnedMenu(handle) || IsMenu(handle));
    EXPECT_EQ((std::array{GetMenuItemCount(bar.GetSafeHmenu()), int(bar.items().size()), int(bar.subMenus().size())}),
              (std::array{1, 1, 1}));
    // A command that no item carries changes nothing it could show.
    EXPECT_FALSE(bar.ModifyItem("Ghost", 99));
    EXPECT_EQ(GetMenuItemCount(bar.GetSafeHmenu()), 1);
}

TEST_F(BCMenuTest, ShortcutFindsTheMnemonicAfterSynchronising) {
    BCMenu menu;
    menu.CreatePopupMenu();
    menu.AppendItem("&Open", 0, 1);
    menu.AppendItem("", 0, 0);
    menu.AppendItem("Save &As", 0, 2);
    // An item added behind the menu's back: the records no longer match the items.
    AppendMenu(menu.GetSafeHmenu(), 0, 3, "E&xit");
    struct Case { QChar ch; uint32_t flags, answer; };
    for (const Case& c : {Case{'o', MF_POPUP, 0x20000}, Case{'O', MF_POPUP, 0x20000}, Case{'a', MF_POPUP, 0x20002},
                          Case{'x', MF_POPUP, 0x20003}, Case{'q', MF_POPUP, 0}, Case{'o', 0, 0}})
        EXPECT_EQ(BCMenu::FindShortcut(c.ch, c.flags, menu.GetSafeHmenu()), c.answer) << c.ch.toLatin1();
    EXPECT_EQ(texts(menu), (QStringList{"&Open", "", "Save &As", "E&xit"}));
    EXPECT_EQ(menu.items()[3]->flags, 0x500u);
    EXPECT_EQ(BCMenu::FindShortcut('o', MF_POPUP, 0x7), 0u);  // not a menu of ours
}

TEST_F(BCMenuTest, PositionsOutOfRangeAreIgnoredAndInsertsPastTheEndAppend) {
    const QStringList all = {"A", "B", "C", "D", "E"}, appended = all + QStringList{"Z"};
    struct Case { const char* what; std::function<void(BCMenu&)> act; QStringList after; };
    const Case cases[] = {
        {"remove past end", [](BCMenu& m) { EXPECT_FALSE(m.RemoveMenu(7, MF_BYPOSITION)); }, all},
        {"delete -1", [](BCMenu& m) { EXPECT_FALSE(m.DeleteMenu(0xFFFFFFFF, MF_BYPOSITION)); }, all},
        {"insert past end", [](BCMenu& m) { m.InsertItem(99, "Z", MF_BYPOSITION, 9); }, appended},
        {"insert -1", [](BCMenu& m) { m.InsertItem(0xFFFFFFFF, "Z", MF_BYPOSITION, 9); }, appended},
        {"insert before command", [](BCMenu& m) { m.InsertItem(3, "Z", 0, 9); }, {"A", "B", "Z", "C", "D", "E"}},
        {"remove by text, first", [](BCMenu& m) { EXPECT_EQ(m.RemoveItemByText("A", 1), 0); }, {"B", "C", "D", "E"}},
        {"delete by text, first, mode 3", [](BCMenu& m) { EXPECT_EQ(m.DeleteItemByText("A", 3), 0); }, {"B", "C", "D", "E"}},
        {"mode 1", [](BCMenu& m) { EXPECT_EQ(m.RemoveItemByText("C", 1), 2); }, {"A", "D", "E"}},
        {"mode 2 as mode 1", [](BCMenu& m) { EXPECT_EQ(m.RemoveItemByText("C", 2), 2); }, {"A", "D", "E"}},
        {"mode 3", [](BCMenu& m) { EXPECT_EQ(m.DeleteItemByText("C", 3), 2); }, {"A", "E"}},
        {"unknown text", [](BCMenu& m) { EXPECT_EQ(m.DeleteItemByText("Q", 3), -1); }, all},
    };
    for (const Case& c : cases) {
        BCMenu menu;
        menu.CreatePopupMenu();
        for (int i = 0; i < all.size(); ++i) menu.AppendItem(all[i], 0, static_cast<std::uintptr_t>(i + 1));
        c.act(menu);
        EXPECT_EQ(texts(menu), c.after) << c.what;
    }
}

TEST_F(BCMenuTest, LoadsTheMainMenuAndFindsItsItemsByTextAndCommand) {
    BCMenu menu;
    EXPECT_FALSE(menu.LoadMenu(999));
    ASSERT_TRUE(menu.LoadMenu(129));
    const HMENU bar = menu.GetSafeHmenu(), help = GetSubMenu(bar, 7);
    // Plain bar items, and popups whose items are owner-drawn.
    ASSERT_EQ(GetMenuItemCount(bar), 8);
    EXPECT_EQ((std::pair{menu.items()[0]->flags, menu.items()[7]->flags}), (std::pair{0x400u, 0x410u}));
    BCMenu* helpMenu = menu.GetOwnedSubMenu("Help");
    ASSERT_TRUE(helpMenu && helpMenu->GetSafeHmenu() == help && menu.GetSubMenuByText("Help") == help);
    EXPECT_EQ(menu.GetSubMenuByText("ISP_IC"), 0u);  // a plain item has no sub-menu
    EXPECT_EQ(texts(*helpMenu), (QStringList{"About SWD ISP", "Vosk Firmware Ver.", "Read CRC"}));
    EXPECT_EQ(GetMenuState(help, 32783, MF_BYCOMMAND), MF_OWNERDRAW);
    int position = -1;
    EXPECT_EQ(menu.FindOwner(32785, position), helpMenu);
    EXPECT_EQ(position, 2);
    BCMenuData* about = menu.FindItemDataByText("About SWD ISP");
    ASSERT_TRUE(about && about->commandId == 32782u);
    EXPECT_EQ(menu.FindItemData(32785), menu.FindItemDataByText("Read CRC"));
    // By text: a new text and the item's own picture (the pass lamp icon); an unknown picture
    // keeps the text and drops the image.
    ASSERT_TRUE(menu.ModifyItemByText("About SWD ISP", "About", 150));
    EXPECT_TRUE(about->text == "About" && about->images && about->imageId == 150 && about->imageOffset == 0);
    EXPECT_FALSE(menu.ModifyItemByText("About SWD ISP", "Again"));
    ASSERT_TRUE(menu.ModifyItemByText("About", QString(), 99999));
    EXPECT_TRUE(about->text == "About" && about->imageId == -1 && about->imageOffset == -1);
    struct Case { uint32_t id, flags; QString text; };  // no text: no such item
    for (const Case& c : {Case{32783, MF_BYCOMMAND, "Vosk Firmware Ver."}, Case{0, MF_BYPOSITION, "ISP_IC"},
                          Case{8, MF_BYPOSITION, ""}, Case{4242, MF_BYCOMMAND, ""}}) {
        QString text;
        EXPECT_EQ(menu.GetItemText(c.id, text, c.flags), !c.text.isEmpty()) << c.id;
        EXPECT_EQ(text, c.text) << c.id;
        EXPECT_EQ(menu.SetItemText(c.id, "New", c.flags), !c.text.isEmpty()) << c.id;
    }
    EXPECT_EQ(menu.FindItemData(32783)->text, "New");
    // A popup appended to a loaded bar becomes a plain bar item like the others.
    menu.AppendItem("Extra", 0, 40000);
    BCMenu* tools = menu.AppendPopup("Tools");
    EXPECT_EQ(GetSubMenu(bar, 9), tools->GetSafeHmenu());
    EXPECT_EQ(menu.items()[9]->flags, 0x410u);
    EXPECT_EQ(GetMenuItemData(bar, 8), menu.items()[8].get());
    menu.DestroyMenu();
    EXPECT_FALSE(IsMenu(help) || BCMenu::IsOwnedMenu(help));
}

TEST_F(BCMenuTest, AcceleratorsAlignInAColumnAndPaddingStopsWhenABlankAddsNoWidth) {
    const res::MenuTemplate tmpl = {1, {{"File", 0, {{"&Open\tCtrl+O", 1, {}}, {nullptr, 0, {}}, {"E&xit program", 2, {}}}}}};
    BCMenu menu;
    ASSERT_TRUE(menu.LoadMenu(tmpl));
    BCMenu* file = menu.GetOwnedSubMenu("File");
    ASSERT_TRUE(file && file->items().size() == 3u);
    EXPECT_EQ(file->items()[1]->flags, 0x900u);
    const QString open = file->items()[0]->text;
    ASSERT_TRUE(open.startsWith("&Open ") && open.endsWith("\tCtrl+O")) << open.toStdString();
    const QFontMetrics metrics(BCMenu::menuFont());
    const int column = metrics.horizontalAdvance("E&xit program ");
    const int padded = metrics.horizontalAdvance(open.section('\t', 0, 0));
    EXPECT_TRUE(padded >= column && padded - metrics.horizontalAdvance(' ') < column) << padded << " " << column;

    const auto chars = [](const QString& s) { return static_cast<int>(s.size()) * 5; };
    const auto blind = [](const QString& s) { return static_cast<int>(s.trimmed().size()) * 5; };
    EXPECT_EQ(BCMenu::PadToWidth("Ab", 22, chars), "Ab   ");
    EXPECT_EQ(BCMenu::PadToWidth("Abcdef", 22, chars), "Abcdef");
    EXPECT_EQ(BCMenu::PadToWidth("Ab", 22, blind), "Ab ");
}

TEST_F(BCMenuTest, MeasuresBySystemLookAndNeverDividesByAnEmptyText) {
    // The newer look by default only on the themed system of that time.
    EXPECT_EQ(BCMenu::GetShellType(), 1);
    EXPECT_FALSE(BCMenu::IsXpStyle());
    platform::setOsVersionForTest({5, 1});
    BCMenu::g_bcmShellType = BCMenu::GetShellType();
    EXPECT_TRUE(BCMenu::IsThemedXp() && BCMenu::IsXpStyle());
    resetMenuState();
    BCMenu menu;
    menu.CreatePopupMenu();
    const int w = QFontMetrics(QApplication::font()).horizontalAdvance("Open");
    struct Case { int shellType, drawMode; QString text; uint32_t flags; QSize size; };
    for (const Case& c : {Case{1, 0, "Open", 0x100, {w + 33, 20}}, Case{1, 1, "Open", 0x100, {16 + 7 + w + 8, 22}},
                          Case{0, 0, "Open", 0x100, {w + 3 + 3 * (w / 4) + 33, 20}}, Case{0, 0, "", 0x100, {3 + 33, 20}},
                          Case{1, 0, "", 0x900, {0, 10}}, Case{1, 1, "", 0x900, {0, 11}}}) {
        BCMenu::g_bcmShellType = c.shellType;
        BCMenu::SetDrawMode(c.drawMode);
        BCMenuData record;
        record.text = c.text;
        record.flags = c.flags;
        MeasureItemStruct measure{&record};
        menu.MeasureItem(measure);
        EXPECT_EQ(QSize(measure.itemWidth, measure.itemHeight), c.size) << c.shellType << c.drawMode << c.text.toStdString();
    }
}

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
    const BCMenuData &plain = append("Open", 1), &separator = append("", 0);
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
    const BCMenuData &plain = append("Open", 1), &separator = append("", 0);
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
        expectPixels(draw(separator, 0),
                     {{5, 10, S}, {29, 10, W}, {30, 10, sys(COLOR_3DSHADOW)}, {30, 11, sys(COLOR_3DHILIGHT)}}, look);
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
    EXPECT_EQ((std::array{swatch.pixel(3, 2), swatch.pixel(12, 11), swatch.pixel(4, 3), swatch.pixel(2, 2),
                          swatch.pixel(13, 12)}),
              (std::array{black, black, colorFromRef(kRed).rgb(), menuColour, menuColour}));

    // A toolbar with larger pictures enlarges the menu's pictures; its buttons' pictures go
    // to the commands the menu holds.
    const BCMenuData &cut = append("Cut", 5), &copy = append("Copy", 6);
    EXPECT_FALSE(menu.LoadToolbarImages(501));
    ASSERT_TRUE(menu.LoadToolbarImages(500));
    EXPECT_EQ(menu.imageSize(), QSize(20, 18));
    EXPECT_EQ(BCMenu::g_bcmImageList.ExtractIcon(cut.globalImage).pixel(3, 3), colorFromRef(kRed).rgb());
    EXPECT_EQ(BCMenu::g_bcmImageList.ExtractIcon(copy.globalImage).pixel(3, 3), colorFromRef(kBlue).rgb());

    // A toolbar the caller has: the commands the menu holds, in a sub-menu too, get the whole
    // strip as their own pictures at their picture numbers; a missing bitmap leaves them none.
    BCMenu* sub = menu.AppendPopup("More");
    sub->AppendItem("Paste", 0, 8);
    const BCMenuToolBar toolbar{20, 18, {0, 5, 0, 8, 9}};
    for (const auto& [bitmap, offsets] : {std::pair{500, std::pair{0, 1}}, {501, std::pair{-1, -1}}}) {
        EXPECT_EQ(menu.AddToolbarImages(toolbar, bitmap), 5);
        const BCMenuData& paste = *sub->items()[0];
        EXPECT_EQ(std::pair(cut.imageOffset, paste.imageOffset), offsets) << bitmap;
        EXPECT_EQ(cut.imageId, offsets.first < 0 ? -1 : 500);
        EXPECT_EQ(paste.images != nullptr, offsets.first >= 0);
        EXPECT_EQ(GetMenuItemData(sub->GetSafeHmenu(), 0), &paste);
        EXPECT_EQ(menu.FindItemData(9), nullptr);
        if (paste.images) {
            EXPECT_EQ(paste.images->ExtractIcon(paste.imageOffset).pixel(3, 3), colorFromRef(kBlue).rgb());
        }
    }
}

// The system argument order reaches the same items: the position or command, the flags, the
// command and the text, then a resource picture, a picture of a list or a bitmap. Appended
// lists and bitmaps become the item's own picture; inserted ones the command's shared one.
TEST_F(BCMenuPaint, SystemOrderFormsPlaceTheItemWithItsPicture) {
    CImageList list;
    list.Create(QSize(16, 15));
    list.Add(squares({32, 15}, {{0, kRed}, {16, kBlue}}), GetSysColor(COLOR_3DFACE));
    const QImage blue = squares({16, 15}, {{0, kBlue}});
    enum Picture { Shared, Own };
    const struct { const char* name; std::function<bool(BCMenu&)> add; int position; Picture picture; COLORREF colour; } cases[] = {
        {"append id", [](BCMenu& m) { return m.AppendMenu(0, 5, "Cut", 300); }, 2, Shared, kRed},
        {"append list", [&](BCMenu& m) { return m.AppendMenu(0, 5, "Cut", &list, 1); }, 2, Own, kBlue},
        {"append bitmap", [&](BCMenu& m) { return m.AppendMenu(0, 5, "Cut", blue); }, 2, Own, kBlue},
        {"insert id by position", [](BCMenu& m) { return m.InsertMenu(1, MF_BYPOSITION, 5, "Cut", 301); }, 1, Shared, kBlue},
        {"insert list before command 2", [&](BCMenu& m) { return m.InsertMenu(2, 0, 5, "Cut", &list, 0); }, 1, Shared, kRed},
        {"insert bitmap at 0", [&](BCMenu& m) { return m.InsertMenu(0, MF_BYPOSITION, 5, "Cut", blue); }, 0, Shared, kBlue},
    };
    for (const auto& c : cases) {
        resetMenuState();
        installResources();
        BCMenu m;
        m.CreatePopupMenu();
        m.AppendItem("A", 0, 1);
        m.AppendItem("B", 0, 2);
        ASSERT_TRUE(c.add(m)) << c.name;
        const QStringList shown = texts(m);
        ASSERT_EQ(shown.indexOf("Cut"), c.position) << c.name;
        EXPECT_EQ(GetMenuItemID(m.GetSafeHmenu(), c.position), 5u) << c.name;
        const BCMenuData& record = *m.items()[static_cast<size_t>(c.position)];
        const QImage picture = c.picture == Own ? (record.images ? record.images->ExtractIcon(record.imageOffset) : QImage())
                                                : BCMenu::g_bcmImageList.ExtractIcon(record.globalImage);
        ASSERT_FALSE(picture.isNull()) << c.name;
        EXPECT_EQ(picture.pixel(3, 3), colorFromRef(c.colour).rgb()) << c.name;
    }
}

// The off-screen surface reaches the target only when it goes, and only inside its rectangle.
TEST(BCMenuMemDC, CopiesItsRectangleBackWhenItGoes) {
    QImage target(20, 20, QImage::Format_ARGB32_Premultiplied);
    target.fill(Qt::white);
    QPainter painter(&target);
    {
        BCMenuMemDC surface(painter, QRect(5, 6, 4, 3));
        surface.painter().fillRect(QRect(0, 0, 20, 20), Qt::blue);
        surface.painter().fillRect(QRect(5, 6, 1, 1), Qt::red);
        EXPECT_EQ(target.pixelColor(6, 7), QColor(Qt::white));
    }
    painter.end();
    for (const auto& [x, y, colour] : {std::tuple{5, 6, Qt::red}, {6, 7, Qt::blue}, {8, 8, Qt::blue},
                                       {4, 6, Qt::white}, {9, 7, Qt::white}, {6, 9, Qt::white}, {6, 5, Qt::white}})
        EXPECT_EQ(target.pixelColor(x, y), QColor(colour)) << x << "," << y;
}
