#pragma once
// The owner-drawn menu: a menu whose items the program draws, each with an optional picture
// (its own, or the shared picture of its command), a check mark and text whose accelerator
// part (after a tab) stands in an aligned column, in a classic or an XP look. BCMenu keeps one
// record (BCMenuData) per item beside the system menu of its handle (controls/menu_handles.h)
// and hands the record to the item as its item data; BCMenuView shows a level as a QMenu.
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "controls/gdi_paint.h"
#include "controls/image_list.h"
#include "controls/menu_handles.h"

namespace res {
struct MenuTemplate;
}

using menus::HMENU;

struct BCMenuData {
    QString text;  // null: no text
    int imageOffset = -1;
    int globalImage = -1;
    int imageId = -1;
    uint32_t flags = 0;
    std::uintptr_t commandId = 0;
    int syncMark = 0;
    std::unique_ptr<CImageList> images;

    void SetText(const QString& value) { text = value; }
};

// Item states of a paint request, as the window system passes them.
constexpr uint32_t ODS_SELECTED = 0x1;
constexpr uint32_t ODS_GRAYED = 0x2;
constexpr uint32_t ODS_DISABLED = 0x4;
constexpr uint32_t ODS_CHECKED = 0x8;

struct DrawItemStruct {
    QPainter* painter;
    QRect item;
    uint32_t state;
    const BCMenuData* data;
    bool palette256 = false;  // a device with a palette: always the classic look
};

struct MeasureItemStruct {
    const BCMenuData* data;
    int itemWidth = 0;
    int itemHeight = 0;
};

// A toolbar as its resource holds it: picture size and one command per button (0 for a
// separator). Its pictures are the bitmap resource of the same id.
struct BCMenuToolBar {
    int imageWidth, imageHeight;
    std::vector<int> commands;
};

// An off-screen drawing surface over a rectangle of a target painter: what is drawn through
// painter() lands in the target at the same place, in one copy, when the surface goes. A
// printer is drawn on straight.
class BCMenuMemDC {
public:
    BCMenuMemDC(QPainter& target, const QRect& rect);
    ~BCMenuMemDC();
    BCMenuMemDC(const BCMenuMemDC&) = delete;
    BCMenuMemDC& operator=(const BCMenuMemDC&) = delete;

    QPainter& painter() { return offScreen_ ? surface_ : target_; }

private:
    QPainter& target_;
    QRect rect_;
    QImage bitmap_;
    QPainter surface_;
    bool offScreen_;
};

class BCMenu {
public:
    // Answers to a menu-character request.
    static constexpr uint32_t MNC_EXECUTE = 2;

    BCMenu();
    virtual ~BCMenu();
    BCMenu(const BCMenu&) = delete;
    BCMenu& operator=(const BCMenu&) = delete;

    HMENU GetSafeHmenu() const { return m_hMenu; }
    bool CreateMenu();
    bool CreatePopupMenu();
    static BCMenu* FromHandlePermanent(HMENU menu);

    // Items. Text that is null keeps the item's text where an operation allows it.
    bool AppendItem(const QString& text, uint32_t flags = 0, std::uintptr_t id = 0, int imageId = -1);
    bool AppendItem(const QString& text, uint32_t flags, std::uintptr_t id, const CImageList* list, int index);
    bool InsertItem(uint32_t position, const QString& text, uint32_t flags = 0, std::uintptr_t id = 0,
                    int imageId = -1);
    bool InsertItem(uint32_t position, const QString& text, uint32_t flags, std::uintptr_t id,
                    const CImageList* list, int index);
    bool ModifyItem(const QString& text, std::uintptr_t id, int imageId = -1);
    bool ModifyItem(const QString& text, std::uintptr_t id, const CImageList* list, int index);
    bool ModifyItem(const QString& text, std::uintptr_t id, const QImage& bitmap);
    bool ModifyItem(const QString& text, std::uintptr_t id, COLORREF fill, COLORREF border, int hatchStyle = -1,
                    std::optional<QSize> swatch = std::nullopt);
    bool ModifyItemByText(const QString& current, const QString& replacement, int imageId = -1);
    // The same items with the system menu's argument order; a bitmap becomes a one-picture
    // image list first.
    bool AppendMenu(uint32_t flags, std::uintptr_t id = 0, const QString& text = QString(), int imageId = -1);
    bool AppendMenu(uint32_t flags, std::uintptr_t id, const QString& text, const CImageList* list, int index);
    bool AppendMenu(uint32_t flags, std::uintptr_t id, const QString& text, const QImage& bitmap);
    bool InsertMenu(uint32_t position, uint32_t flags, std::uintptr_t id = 0, const QString& text = QString(),
                    int imageId = -1);
    bool InsertMenu(uint32_t position, uint32_t flags, std::uintptr_t id, const QString& text, const CImageList* list,
                    int index);
    bool InsertMenu(uint32_t position, uint32_t flags, std::uintptr_t id, const QString& text, const QImage& bitmap);
    BCMenu* AppendPopup(const QString& text);

    bool RemoveMenu(uint32_t position, uint32_t flags);
    bool DeleteMenu(uint32_t position, uint32_t flags);
    int RemoveItemByText(const QString& text, int mode = 0);
    int DeleteItemByText(const QString& text, int mode = 0);

    bool SetItemText(uint32_t id, const QString& text, uint32_t flags = menus::MF_BYCOMMAND);
    bool GetItemText(uint32_t id, QString& text, uint32_t flags = menus::MF_BYCOMMAND) const;
    BCMenuData* FindItemData(std::uintptr_t id);
    BCMenu* FindOwner(std::uintptr_t id, int& position);
    BCMenuData* FindItemDataByText(const QString& text);
    HMENU GetSubMenuByText(const QString& text) const;
    BCMenu* GetOwnedSubMenu(const QString& text);
    int GetItemPosition(const QString& text) const;
    const std::vector<std::unique_ptr<BCMenuData>>& items() const { return m_items; }
    const std::vector<HMENU>& subMenus() const { return m_subMenus; }

    // Builds the tree from a menu of res/; false when there is no menu of that id.
    virtual bool LoadMenu(int resourceId);
    bool LoadMenu(const res::MenuTemplate& menu);
    virtual bool DestroyMenu();
    void SyncItems();
    static void SyncMenu(BCMenu* menu);
    static bool IsOwnedMenu(HMENU menu);
    // The answer to a menu character typed while the menu is open: MNC_EXECUTE in the high
    // word with the item's position in the low word, or 0.
    static uint32_t FindShortcut(QChar ch, uint32_t flags, HMENU menu);

    void SetImageSize(int width, int height);
    QSize imageSize() const { return {m_imageWidth, m_imageHeight}; }
    void SetImageBackground(COLORREF color);
    void ClearImageBackground() { m_useImageBackground = false; }
    void SetEmbossDisabled() { m_embossDisabled = true; }
    void ClearEmbossDisabled() { m_embossDisabled = false; }
    bool GetEmbossDisabled() const { return m_embossDisabled; }
    void LoadCheckImages(int normalId, int selectedId);
    const CImageList* checkImages() const { return m_checkImages.get(); }
    bool LoadToolbarImages(int toolbarId);
    bool LoadToolbarImages(std::span<const int> toolbarIds);
    // For a toolbar the caller has already: each button's command that the menu holds gets the
    // whole bitmap as its item's own pictures, at the button's picture number. The toolbar's
    // button count.
    int AddToolbarImages(const BCMenuToolBar& toolbar, int bitmapId);
    static void SetDrawMode(int mode);

    virtual void DrawItem(const DrawItemStruct& item);
    virtual void MeasureItem(MeasureItemStruct& item) const;

    // Images.
    bool AddResourceImage(CImageList& list, int bitmapId, bool withEffects = true) const;
    int StoreSharedImage(const CImageList& source, int index, std::uintptr_t command) const;
    bool CopyListImage(const CImageList* source, int index, CImageList* target) const;
    QImage RenderImage(const CImageList& list, int index) const;
    QImage MakeSwatch(QSize swatch, QSize bitmap, COLORREF fill, COLORREF border, int hatchStyle) const;
    static COLORREF BlendToWhite(COLORREF color, double factor);
    static COLORREF BlendToBlack(COLORREF color, double factor);
    // The two painters of disabled pictures, drawing the rendered picture at a point.
    static void PaintDisabledMasked(QPainter& p, QPoint at, const QImage& picture, QColor background);
    static void PaintDisabledEmbossed(QPainter& p, QPoint at, const QImage& picture, QColor background);

    // Operating system and look.
    static int ShellTypeOf(bool ntFamily, uint32_t major, uint32_t minor);
    static int GetShellType();
    static bool IsThemedXp();
    static bool IsXpStyle();
    static QFont menuFont();
    // The height of a menu bar line; tests may set another.
    static int menuLineHeight();
    static void setMenuLineHeightForTest(int height);

    // Where bitmap and toolbar resources come from. Bitmaps default to the program's icons
    // over the face colour; there are no toolbar resources unless a lookup is installed.
    using BitmapLookup = std::function<QImage(int id)>;
    using ToolbarLookup = std::function<std::optional<BCMenuToolBar>(int id)>;
    static void SetResourceLookup(BitmapLookup bitmaps, ToolbarLookup toolbars);
    // A bitmap resource as the lookup gives it; a null image for an id without one.
    static QImage BitmapResource(int id);

    // Pads the text before a tab with blanks until it measures at least `width`; stops when a
    // blank adds nothing.
    static QString PadToWidth(QString part, int width, const std::function<int(const QString&)>& measure);

    static int g_bcmShellType;
    static std::vector<HMENU> g_bcmAllSubMenus;
    static CImageList g_bcmImageList;
    static std::vector<std::uintptr_t> g_bcmImageIds;
    static int g_bcmDrawModeXp;
    static int g_bcmDrawModeClassic;
    static int g_bcmSelectDisabledXp;
    static int g_bcmSelectDisabledClassic;
    static int g_bcmOptionFlag;
    static int g_bcmClassicTheme;
    static int g_bcmClassicThemeChecked;

    int m_selectedCheckId = -1;
    int m_normalCheckId = -1;

protected:
    HMENU m_hMenu = 0;
    std::vector<std::unique_ptr<BCMenuData>> m_items;
    std::vector<HMENU> m_subMenus;
    int m_imageWidth = 16;
    int m_imageHeight = 15;
    COLORREF m_imageBackground = 0xC0C0C0;
    bool m_useImageBackground = false;
    bool m_embossDisabled = false;
    std::shared_ptr<CImageList> m_checkImages;
    bool m_sharesCheckImages = false;
    bool m_loadedFromResource = false;

private:
    BCMenu* newSubMenu();
    bool attach(HMENU handle);
    int sharedImageOf(std::uintptr_t command) const;
    int sharedImageFromResource(int imageId, std::uintptr_t command) const;
    std::unique_ptr<BCMenuData> newRecord(const QString& text, uint32_t flags, std::uintptr_t id);
    bool appendItem(const QString& text, uint32_t flags, std::uintptr_t id,
                    const std::function<void(BCMenuData&)>& setImage);
    bool insertItem(uint32_t position, const QString& text, uint32_t flags, std::uintptr_t id,
                    const std::function<int()>& globalImage);
    bool modifyCommand(const QString& text, std::uintptr_t id, const std::function<int()>& sharedImage,
                       bool dropOwnImages);
    bool removeItem(uint32_t position, uint32_t flags, bool destroy);
    int removeByText(const QString& text, int mode, bool destroy);
    BCMenuData* recordOfItem(int position);
    int menuBarOffset() const;
    void restoreMenuBarItems();
    void alignAccelerators();
    void addEffects(CImageList& list, const QImage& rendered) const;
    // A one-picture list of the menu's picture size holding the bitmap; empty when it takes none.
    std::unique_ptr<CImageList> bitmapList(const QImage& bitmap) const;
    COLORREF transparentColor() const;
    void drawClassic(const DrawItemStruct& item);
    void drawXp(const DrawItemStruct& item);
    void drawXpItem(const DrawItemStruct& item);

    std::vector<std::unique_ptr<BCMenu>> m_ownedSubMenus;
};

// One level of a BCMenu shown as a popup: every item is drawn by the menu's DrawItem at the
// size its MeasureItem gives. exec() shows it and answers the chosen command, 0 for none.
class BCMenuView : public QMenu {
    Q_OBJECT
public:
    BCMenuView(BCMenu& menu, HMENU level, QWidget* parent = nullptr);
    int execAt(QPoint globalPos);
    void choose(std::uintptr_t command);
    // The item widgets in position order (tests hover and click them).
    const std::vector<QWidget*>& itemWidgets() const { return m_itemWidgets; }

protected:
    // A typed character picks the item whose mnemonic it is.
    void keyPressEvent(QKeyEvent* event) override;

private:
    HMENU m_level;
    std::vector<QWidget*> m_itemWidgets;
    std::uintptr_t m_chosen = 0;
};
