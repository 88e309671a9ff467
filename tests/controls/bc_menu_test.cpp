#include "controls/bc_menu.h"

#include <QFontMetrics>
#include <gtest/gtest.h>

#include <array>

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
    EXPECT_EQ(GetMenuString(bar, 7, MF_BYPOSITION), "Help");
    BCMenu* helpMenu = menu.GetOwnedSubMenu("Help");
    ASSERT_NE(helpMenu, nullptr);
    EXPECT_EQ(helpMenu->GetSafeHmenu(), help);
    EXPECT_EQ(texts(*helpMenu), (QStringList{"About SWD ISP", "Vosk Firmware Ver.", "Read CRC"}));
    EXPECT_EQ(GetMenuState(help, 32783, MF_BYCOMMAND), MF_OWNERDRAW);
    int position = -1;
    EXPECT_EQ(menu.FindOwner(32785, position), helpMenu);
    EXPECT_EQ(position, 2);
    EXPECT_EQ(menu.GetSubMenuByText("Help"), help);
    EXPECT_EQ(menu.GetSubMenuByText("ISP_IC"), 0u);  // a plain item has no sub-menu
    BCMenuData* about = menu.FindItemDataByText("About SWD ISP");
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(about->commandId, 32782u);
    EXPECT_EQ(menu.FindItemData(32785), menu.FindItemDataByText("Read CRC"));
    // By text: a new text and the item's own picture (the pass lamp icon); an unknown picture
    // keeps the text and drops the image.
    ASSERT_TRUE(menu.ModifyItemByText("About SWD ISP", "About", 150));
    EXPECT_EQ(about->text, "About");
    ASSERT_NE(about->images, nullptr);
    EXPECT_EQ((std::pair{about->imageId, about->imageOffset}), (std::pair{150, 0}));
    EXPECT_FALSE(menu.ModifyItemByText("About SWD ISP", "Again"));
    ASSERT_TRUE(menu.ModifyItemByText("About", QString(), 99999));
    EXPECT_EQ(about->text, "About");
    EXPECT_EQ((std::pair{about->imageId, about->imageOffset}), (std::pair{-1, -1}));
    struct Case { uint32_t id, flags; bool found; QString text; };
    for (const Case& c : {Case{32783, MF_BYCOMMAND, true, "Vosk Firmware Ver."}, Case{0, MF_BYPOSITION, true, "ISP_IC"},
                          Case{8, MF_BYPOSITION, false, ""}, Case{4242, MF_BYCOMMAND, false, ""}}) {
        QString text;
        EXPECT_EQ(menu.GetItemText(c.id, text, c.flags), c.found) << c.id;
        EXPECT_EQ(text, c.text) << c.id;
        EXPECT_EQ(menu.SetItemText(c.id, "New", c.flags), c.found) << c.id;
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
