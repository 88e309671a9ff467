#include "controls/bc_menu.h"

#include <QApplication>
#include <QFontMetrics>
#include <algorithm>
#include <map>

#include "platform/os_version.h"
#include "res/menu.h"

using namespace menus;

namespace {

std::map<HMENU, BCMenu*>& permanentMenus() {
    static std::map<HMENU, BCMenu*> map;
    return map;
}

int g_menuLineHeight = 0;  // 0: from the menu font

// Step 1 of adding an item: command 0 makes an owner-drawn separator, anything else is made
// owner-drawn.
uint32_t newItemFlags(uint32_t flags, std::uintptr_t id) {
    if (id == 0) return (flags & MF_BYPOSITION) != 0 ? 0xD00 : 0x900;
    return flags | MF_OWNERDRAW;
}

// A menu of res/ as the stream of its items: option word, command, text, with MF_END on the
// last item of each level.
struct TemplateItem {
    uint32_t option;
    std::uintptr_t id;
    QString text;
    const std::vector<res::MenuItem>* popup;
};

void flatten(const std::vector<res::MenuItem>& level, std::vector<TemplateItem>& out) {
    for (size_t i = 0; i < level.size(); ++i) {
        const res::MenuItem& item = level[i];
        const bool popup = !item.popup.empty();
        const uint32_t option = (popup ? MF_POPUP : 0) | (i + 1 == level.size() ? MF_END : 0);
        out.push_back({option, popup ? 0 : static_cast<std::uintptr_t>(item.command),
                       item.text != nullptr ? QString::fromUtf8(item.text) : QString(""), nullptr});
        if (popup) flatten(item.popup, out);
    }
}

const res::MenuTemplate* findMenuTemplate(int id) {
    for (const res::MenuTemplate* menu : {&res::kMenu129})
        if (menu->id == id) return menu;
    return nullptr;
}

}  // namespace

int BCMenu::g_bcmShellType = BCMenu::GetShellType();
std::vector<HMENU> BCMenu::g_bcmAllSubMenus;
CImageList BCMenu::g_bcmImageList;
std::vector<std::uintptr_t> BCMenu::g_bcmImageIds;
int BCMenu::g_bcmDrawModeXp = 1;
int BCMenu::g_bcmDrawModeClassic = 0;
int BCMenu::g_bcmSelectDisabledXp = 0;
int BCMenu::g_bcmSelectDisabledClassic = 1;
int BCMenu::g_bcmOptionFlag = 1;
int BCMenu::g_bcmClassicTheme = 0;
int BCMenu::g_bcmClassicThemeChecked = 0;

BCMenu::BCMenu() = default;

BCMenu::~BCMenu() {
    DestroyMenu();
}

bool BCMenu::attach(HMENU handle) {
    if (handle == 0) return false;
    m_hMenu = handle;
    permanentMenus()[handle] = this;
    return true;
}

bool BCMenu::CreateMenu() { return attach(menus::CreateMenu()); }
bool BCMenu::CreatePopupMenu() { return attach(menus::CreatePopupMenu()); }

BCMenu* BCMenu::FromHandlePermanent(HMENU menu) {
    auto it = permanentMenus().find(menu);
    return it == permanentMenus().end() ? nullptr : it->second;
}

bool BCMenu::IsOwnedMenu(HMENU menu) {
    return std::find(g_bcmAllSubMenus.begin(), g_bcmAllSubMenus.end(), menu) != g_bcmAllSubMenus.end();
}

BCMenu* BCMenu::newSubMenu() {
    auto sub = std::make_unique<BCMenu>();
    sub->m_selectedCheckId = m_selectedCheckId;
    sub->m_normalCheckId = m_normalCheckId;
    sub->m_checkImages = m_checkImages;
    sub->m_sharesCheckImages = true;
    sub->CreatePopupMenu();
    m_ownedSubMenus.push_back(std::move(sub));
    return m_ownedSubMenus.back().get();
}

int BCMenu::sharedImageOf(std::uintptr_t command) const {
    const auto it = std::find(g_bcmImageIds.begin(), g_bcmImageIds.end(), command);
    return it == g_bcmImageIds.end() ? -1 : static_cast<int>(it - g_bcmImageIds.begin());
}

std::unique_ptr<BCMenuData> BCMenu::newRecord(const QString& text, uint32_t flags, std::uintptr_t id) {
    auto record = std::make_unique<BCMenuData>();
    record->SetText(text);
    record->flags = flags;
    record->commandId = id;
    return record;
}

bool BCMenu::AppendItem(const QString& text, uint32_t flags, std::uintptr_t id, int imageId) {
    return appendItem(text, flags, id, [&](BCMenuData& record) {
        record.globalImage = imageId < 0 ? sharedImageOf(id) : sharedImageFromResource(imageId, id);
    });
}

bool BCMenu::AppendItem(const QString& text, uint32_t flags, std::uintptr_t id, const CImageList* list,
                        int index) {
    return appendItem(text, flags, id, [&](BCMenuData& record) {
        if (list == nullptr) return;
        record.images = std::make_unique<CImageList>();
        if (!CopyListImage(list, index, record.images.get())) {
            record.images.reset();
            return;
        }
        record.imageId = 0;
        record.imageOffset = 0;
    });
}

bool BCMenu::appendItem(const QString& text, uint32_t flags, std::uintptr_t id,
                        const std::function<void(BCMenuData&)>& setImage) {
    flags = newItemFlags(flags, id);
    if ((flags & MF_POPUP) != 0) {
        g_bcmAllSubMenus.push_back(id);
        m_subMenus.push_back(id);
    }
    auto record = newRecord(text, flags, id);
    setImage(*record);
    const BCMenuData* data = record.get();
    m_items.push_back(std::move(record));
    const bool result = menus::AppendMenu(m_hMenu, flags, id, QString(), data);
    if (m_loadedFromResource) restoreMenuBarItems();
    return result;
}

bool BCMenu::InsertItem(uint32_t position, const QString& text, uint32_t flags, std::uintptr_t id, int imageId) {
    return insertItem(position, text, flags, id,
                      [&] { return imageId < 0 ? sharedImageOf(id) : sharedImageFromResource(imageId, id); });
}

bool BCMenu::InsertItem(uint32_t position, const QString& text, uint32_t flags, std::uintptr_t id,
                        const CImageList* list, int index) {
    return insertItem(position, text, flags, id,
                      [&] { return list != nullptr ? StoreSharedImage(*list, index, id) : sharedImageOf(id); });
}

bool BCMenu::insertItem(uint32_t position, const QString& text, uint32_t flags, std::uintptr_t id,
                        const std::function<int()>& globalImage) {
    if ((flags & MF_BYPOSITION) == 0) {
        int at = -1;
        BCMenu* owner = FindOwner(position, at);
        if (owner == nullptr) return false;
        return owner->insertItem(static_cast<uint32_t>(at), text, flags | MF_BYPOSITION, id, globalImage);
    }
    // -1 and any position past the end insert at the end.
    const int count = std::max(GetMenuItemCount(m_hMenu), 0);
    const int pos = static_cast<int>(position) < 0 || static_cast<int>(position) > count ? count
                                                                                          : static_cast<int>(position);
    flags = newItemFlags(flags, id);
    const int offset = menuBarOffset();
    const size_t index0 = static_cast<size_t>(std::clamp(pos >= offset ? pos - offset : pos, 0,
                                                         static_cast<int>(m_items.size())));
    if ((flags & MF_POPUP) != 0) {
        g_bcmAllSubMenus.push_back(id);
        m_subMenus.insert(m_subMenus.begin() + std::min<std::ptrdiff_t>(pos, std::ssize(m_subMenus)), id);
    }
    auto record = newRecord(text, flags, id);
    record->globalImage = globalImage();
    const BCMenuData* data = record.get();
    m_items.insert(m_items.begin() + static_cast<std::ptrdiff_t>(index0), std::move(record));
    const bool result = menus::InsertMenu(m_hMenu, static_cast<uint32_t>(pos), flags | MF_BYPOSITION, id, QString(), data);
    if (m_loadedFromResource) restoreMenuBarItems();
    return result;
}

BCMenuData* BCMenu::recordOfItem(int position) {
    const void* data = GetMenuItemData(m_hMenu, position);
    for (const auto& record : m_items)
        if (record.get() == data) return record.get();
    const int index = position - menuBarOffset();
    return index >= 0 && index < std::ssize(m_items) ? m_items[static_cast<size_t>(index)].get() : nullptr;
}

bool BCMenu::modifyCommand(const QString& text, std::uintptr_t id, const std::function<int()>& sharedImage,
                           bool dropOwnImages) {
    // Every item of the tree that carries the command, depth-first.
    std::vector<std::pair<BCMenu*, int>> found;
    const std::function<void(BCMenu*)> collect = [&](BCMenu* menu) {
        const int count = GetMenuItemCount(menu->m_hMenu);
        for (int pos = 0; pos < count; ++pos) {
            if ((GetMenuState(menu->m_hMenu, static_cast<uint32_t>(pos), MF_BYPOSITION) & MF_POPUP) != 0) {
                if (BCMenu* sub = FromHandlePermanent(GetSubMenu(menu->m_hMenu, pos))) collect(sub);
            } else if (GetMenuItemID(menu->m_hMenu, pos) == id) {
                found.emplace_back(menu, pos);
            }
        }
    };
    collect(this);
    const int globalImage = sharedImage();
    const auto update = [&](BCMenuData& record) {
        if (!text.isNull()) record.SetText(text);
        record.imageId = -1;
        record.imageOffset = -1;
        record.globalImage = globalImage;
        if (dropOwnImages) record.images.reset();
        record.flags = (record.flags & ~MF_BYPOSITION) | MF_OWNERDRAW;
        record.commandId = id;
    };
    if (found.empty()) {
        // The record waits for an item of the command; the next synchronisation drops it.
        m_items.push_back(newRecord(QString(), 0, id));
        update(*m_items.back());
        return menus::ModifyMenu(m_hMenu, static_cast<uint32_t>(id), m_items.back()->flags, id, QString(),
                                 m_items.back().get());
    }
    // Each item gets its own record as its item data, so that removing one of them never
    // leaves another pointing at a deleted record.
    bool result = true;
    for (const auto& [menu, pos] : found) {
        BCMenuData* record = menu->recordOfItem(pos);
        if (record == nullptr) {
            menu->m_items.push_back(newRecord(QString(), 0, id));
            record = menu->m_items.back().get();
        }
        update(*record);
        result = menus::ModifyMenu(menu->m_hMenu, static_cast<uint32_t>(pos), record->flags | MF_BYPOSITION, id,
                                   QString(), record) && result;
    }
    return result;
}

bool BCMenu::ModifyItem(const QString& text, std::uintptr_t id, int imageId) {
    return modifyCommand(text, id, [&] { return imageId < 0 ? sharedImageOf(id) : sharedImageFromResource(imageId, id); },
                         false);
}

bool BCMenu::ModifyItem(const QString& text, std::uintptr_t id, const CImageList* list, int index) {
    return modifyCommand(text, id, [&] { return list != nullptr ? StoreSharedImage(*list, index, id) : -1; }, true);
}

bool BCMenu::ModifyItem(const QString& text, std::uintptr_t id, const QImage& bitmap) {
    return modifyCommand(text, id, [&] {
        CImageList list;
        list.Create(QSize(m_imageWidth, m_imageHeight));
        return list.Add(bitmap, transparentColor()) < 0 ? -1 : StoreSharedImage(list, 0, id);
    }, true);
}

bool BCMenu::ModifyItem(const QString& text, std::uintptr_t id, COLORREF fill, COLORREF border, int hatchStyle,
                        std::optional<QSize> swatch) {
    return modifyCommand(text, id, [&] {
        const QSize bitmap(m_imageWidth, m_imageHeight);
        CImageList list;
        list.Create(bitmap);
        list.AddIcon(MakeSwatch(swatch.value_or(bitmap), bitmap, fill, border, hatchStyle));
        return StoreSharedImage(list, 0, id);
    }, true);
}

bool BCMenu::AppendMenu(uint32_t flags, std::uintptr_t id, const QString& text, int imageId) {
    return AppendItem(text, flags, id, imageId);
}

bool BCMenu::AppendMenu(uint32_t flags, std::uintptr_t id, const QString& text, const CImageList* list, int index) {
    return AppendItem(text, flags, id, list, index);
}

bool BCMenu::AppendMenu(uint32_t flags, std::uintptr_t id, const QString& text, const QImage& bitmap) {
    const std::unique_ptr<CImageList> list = bitmapList(bitmap);
    return AppendItem(text, flags, id, list.get(), 0);
}

bool BCMenu::InsertMenu(uint32_t position, uint32_t flags, std::uintptr_t id, const QString& text, int imageId) {
    return InsertItem(position, text, flags, id, imageId);
}

bool BCMenu::InsertMenu(uint32_t position, uint32_t flags, std::uintptr_t id, const QString& text,
                        const CImageList* list, int index) {
    return InsertItem(position, text, flags, id, list, index);
}

bool BCMenu::InsertMenu(uint32_t position, uint32_t flags, std::uintptr_t id, const QString& text,
                        const QImage& bitmap) {
    const std::unique_ptr<CImageList> list = bitmapList(bitmap);
    return InsertItem(position, text, flags, id, list.get(), 0);
}

bool BCMenu::ModifyItemByText(const QString& current, const QString& replacement, int imageId) {
    BCMenuData* record = FindItemDataByText(current);
    if (record == nullptr) return false;
    if (!replacement.isNull()) record->SetText(replacement);
    record->images.reset();
    record->imageId = -1;
    record->imageOffset = -1;
    if (imageId >= 0) {
        auto list = std::make_unique<CImageList>();
        list->Create(QSize(m_imageWidth, m_imageHeight));
        if (AddResourceImage(*list, imageId)) {
            record->images = std::move(list);
            record->imageId = imageId;
            record->imageOffset = 0;
        }
    }
    return true;
}

BCMenu* BCMenu::AppendPopup(const QString& text) {
    BCMenu* sub = newSubMenu();
    AppendItem(text, MF_POPUP, sub->m_hMenu);
    return sub;
}

BCMenu* BCMenu::FindOwner(std::uintptr_t id, int& position) {
    position = -1;
    const int count = GetMenuItemCount(m_hMenu);
    for (int pos = 0; pos < count; ++pos) {
        if ((GetMenuState(m_hMenu, static_cast<uint32_t>(pos), MF_BYPOSITION) & MF_POPUP) != 0) {
            if (BCMenu* sub = FromHandlePermanent(GetSubMenu(m_hMenu, pos))) {
                if (BCMenu* owner = sub->FindOwner(id, position)) return owner;
            }
        } else if (GetMenuItemID(m_hMenu, pos) == id) {
            position = pos;
            return this;
        }
    }
    return nullptr;
}

BCMenuData* BCMenu::FindItemData(std::uintptr_t id) {
    for (const auto& record : m_items)
        if (record->commandId == id) return record.get();
    int pos = -1;
    BCMenu* owner = FindOwner(id, pos);
    return owner != nullptr ? owner->recordOfItem(pos) : nullptr;
}

BCMenuData* BCMenu::FindItemDataByText(const QString& text) {
    for (const auto& record : m_items) {
        if (record->text == text) return record.get();
        if ((record->flags & MF_POPUP) != 0) {
            if (BCMenu* sub = FromHandlePermanent(record->commandId))
                if (BCMenuData* found = sub->FindItemDataByText(text)) return found;
        }
    }
    return nullptr;
}

HMENU BCMenu::GetSubMenuByText(const QString& text) const {
    const int count = GetMenuItemCount(m_hMenu);
    for (int pos = 0; pos < count; ++pos)
        if (GetMenuString(m_hMenu, static_cast<uint32_t>(pos), MF_BYPOSITION) == text) return GetSubMenu(m_hMenu, pos);
    return 0;
}

BCMenu* BCMenu::GetOwnedSubMenu(const QString& text) {
    for (const auto& record : m_items)
        if ((record->flags & MF_POPUP) != 0 && record->text == text) return FromHandlePermanent(record->commandId);
    return nullptr;
}

int BCMenu::GetItemPosition(const QString& text) const {
    const bool anyPlain = std::any_of(m_items.begin(), m_items.end(),
                                      [](const auto& r) { return (r->flags & MF_POPUP) == 0; });
    if (!anyPlain) return -1;
    for (size_t i = 0; i < m_items.size(); ++i)
        if (m_items[i]->text == text) return static_cast<int>(i);
    return -1;
}

bool BCMenu::SetItemText(uint32_t id, const QString& text, uint32_t flags) {
    BCMenuData* record = nullptr;
    if ((flags & MF_BYPOSITION) != 0)
        record = id < m_items.size() ? m_items[id].get() : nullptr;
    else
        record = FindItemData(id);
    if (record == nullptr) return false;
    record->SetText(text);
    return true;
}

bool BCMenu::GetItemText(uint32_t id, QString& text, uint32_t flags) const {
    const BCMenuData* record = nullptr;
    if ((flags & MF_BYPOSITION) != 0)
        record = id < m_items.size() ? m_items[id].get() : nullptr;
    else
        record = const_cast<BCMenu*>(this)->FindItemData(id);
    if (record == nullptr) return false;
    text = record->text;
    return true;
}

bool BCMenu::removeItem(uint32_t position, uint32_t flags, bool destroy) {
    const auto system = [&](uint32_t pos, uint32_t how) {
        return destroy ? menus::DeleteMenu(m_hMenu, pos, how) : menus::RemoveMenu(m_hMenu, pos, how);
    };
    if ((flags & MF_BYPOSITION) == 0) {
        int at = -1;
        if (BCMenu* owner = FindOwner(position, at)) return owner->removeItem(static_cast<uint32_t>(at), MF_BYPOSITION, destroy);
        return system(position, flags);
    }
    // A position that holds no item removes nothing.
    if (static_cast<int>(position) < 0 || static_cast<int>(position) >= GetMenuItemCount(m_hMenu)) return false;
    const int pos = static_cast<int>(position);
    const uint32_t state = GetMenuState(m_hMenu, position, MF_BYPOSITION);
    const auto dropRecord = [&](const BCMenuData* record) {
        std::erase_if(m_items, [&](const auto& r) { return r.get() == record; });
    };
    if ((state & MF_POPUP) != 0) {
        const HMENU sub = GetSubMenu(m_hMenu, pos);
        std::erase(m_subMenus, sub);
        std::erase(g_bcmAllSubMenus, sub);
        if (BCMenu* subMenu = FromHandlePermanent(sub)) {
            for (int i = GetMenuItemCount(sub) - 1; i >= 0; --i)
                subMenu->removeItem(static_cast<uint32_t>(i), MF_BYPOSITION, destroy);
        }
        const auto record = std::find_if(m_items.begin(), m_items.end(), [&](const auto& r) { return r->commandId == sub; });
        if (record != m_items.end()) m_items.erase(record);
        std::erase_if(m_ownedSubMenus, [&](const auto& m) { return m->m_hMenu == sub; });
    } else if ((state & MF_SEPARATOR) != 0) {
        BCMenuData* record = recordOfItem(pos);
        if (record != nullptr && (!destroy || record->text.isEmpty())) dropRecord(record);
    } else {
        const void* data = GetMenuItemData(m_hMenu, pos);
        const auto own = std::find_if(m_items.begin(), m_items.end(), [&](const auto& r) { return r.get() == data; });
        const std::uintptr_t command = GetMenuItemID(m_hMenu, pos);
        const auto byCommand = std::find_if(m_items.begin(), m_items.end(), [&](const auto& r) { return r->commandId == command; });
        if (own != m_items.end())
            m_items.erase(own);
        else if (byCommand != m_items.end())
            m_items.erase(byCommand);
    }
    return system(position, MF_BYPOSITION);
}

bool BCMenu::RemoveMenu(uint32_t position, uint32_t flags) { return removeItem(position, flags, false); }
bool BCMenu::DeleteMenu(uint32_t position, uint32_t flags) { return removeItem(position, flags, true); }

int BCMenu::removeByText(const QString& text, int mode, bool destroy) {
    const int pos = GetItemPosition(text);
    if (pos < 0) return -1;
    removeItem(static_cast<uint32_t>(pos), MF_BYPOSITION, destroy);
    // The neighbours before the item; at the top there is none to remove.
    const int neighbours = mode == 1 || mode == 2 ? 1 : mode == 3 ? 2 : 0;
    for (int i = 0; i < neighbours && pos > 0; ++i) removeItem(static_cast<uint32_t>(pos - 1), MF_BYPOSITION, destroy);
    return pos;
}

int BCMenu::RemoveItemByText(const QString& text, int mode) { return removeByText(text, mode, false); }
int BCMenu::DeleteItemByText(const QString& text, int mode) { return removeByText(text, mode, true); }

bool BCMenu::LoadMenu(int resourceId) {
    const res::MenuTemplate* menu = findMenuTemplate(resourceId);
    return menu != nullptr && LoadMenu(*menu);
}

bool BCMenu::LoadMenu(const res::MenuTemplate& menu) {
    std::vector<TemplateItem> stream;
    flatten(menu.items, stream);
    DestroyMenu();
    m_loadedFromResource = false;
    if (!CreateMenu()) return false;
    struct Level {
        BCMenu* menu;
        bool ended;
    };
    std::vector<Level> stack{{this, false}};
    for (const TemplateItem& item : stream) {
        const uint32_t flags = item.option & ~MF_END;
        if ((flags & MF_POPUP) == 0) {
            stack.back().menu->AppendItem(item.text, flags, item.id);
            if ((item.option & MF_END) != 0) stack.back().ended = true;
            while (!stack.empty() && stack.back().ended) {
                stack.back().menu->alignAccelerators();
                stack.pop_back();
            }
        } else {
            if ((item.option & MF_END) != 0) stack.back().ended = true;
            BCMenu* parent = stack.back().menu;
            BCMenu* sub = parent->newSubMenu();
            parent->AppendItem(item.text, flags, sub->m_hMenu);
            stack.push_back({sub, false});
        }
        if (stack.empty()) break;
    }
    for (size_t i = 0; i < m_items.size(); ++i) {
        BCMenuData& record = *m_items[i];
        record.flags = (record.flags & MF_POPUP) != 0 ? MF_BYPOSITION | MF_POPUP : MF_BYPOSITION;
        menus::ModifyMenu(m_hMenu, static_cast<uint32_t>(i), record.flags, record.commandId, record.text);
    }
    m_loadedFromResource = true;
    return true;
}

bool BCMenu::DestroyMenu() {
    if (m_hMenu == 0) return false;
    std::erase(g_bcmAllSubMenus, m_hMenu);
    for (auto it = m_subMenus.rbegin(); it != m_subMenus.rend(); ++it) std::erase(g_bcmAllSubMenus, *it);
    // Sub-menus this menu created go with it, last first.
    while (!m_ownedSubMenus.empty()) m_ownedSubMenus.pop_back();
    m_subMenus.clear();
    m_items.clear();
    if (!m_sharesCheckImages) m_checkImages.reset();
    permanentMenus().erase(m_hMenu);
    const bool result = menus::DestroyMenu(m_hMenu);
    m_hMenu = 0;
    return result;
}

int BCMenu::menuBarOffset() const {
    if (!m_loadedFromResource) return 0;
    const int count = GetMenuItemCount(m_hMenu);
    for (int pos = 0; pos < count; ++pos) {
        const QString text = GetMenuString(m_hMenu, static_cast<uint32_t>(pos), MF_BYPOSITION);
        if (text.isEmpty()) continue;
        for (size_t i = 0; i < m_items.size(); ++i)
            if (m_items[i]->text == text) return std::max(pos - static_cast<int>(i), 0);
    }
    return 0;
}

void BCMenu::restoreMenuBarItems() {
    const int offset = menuBarOffset();
    const int count = GetMenuItemCount(m_hMenu);
    for (int pos = offset; pos < count; ++pos) {
        const size_t index = static_cast<size_t>(pos - offset);
        if (index >= m_items.size()) break;
        if ((GetMenuState(m_hMenu, static_cast<uint32_t>(pos), MF_BYPOSITION) & MF_POPUP) == 0) continue;
        BCMenuData& record = *m_items[index];
        record.flags = MF_BYPOSITION | MF_POPUP;
        menus::ModifyMenu(m_hMenu, static_cast<uint32_t>(pos), record.flags, GetSubMenu(m_hMenu, pos), record.text);
    }
}

QString BCMenu::PadToWidth(QString part, int width, const std::function<int(const QString&)>& measure) {
    int current = measure(part);
    while (current < width) {
        part += QLatin1Char(' ');
        const int next = measure(part);
        if (next <= current) break;
        current = next;
    }
    return part;
}

void BCMenu::alignAccelerators() {
    const QFontMetrics metrics(menuFont());
    const auto measure = [&](const QString& s) { return metrics.horizontalAdvance(s); };
    int widest = 0;
    for (const auto& record : m_items)
        widest = std::max(widest, measure(record->text.section(QLatin1Char('\t'), 0, 0) + QLatin1Char(' ')));
    for (const auto& record : m_items) {
        const qsizetype tab = record->text.indexOf(QLatin1Char('\t'));
        if (tab < 0) continue;
        record->SetText(PadToWidth(record->text.left(tab), widest, measure) + record->text.mid(tab));
    }
}

void BCMenu::SyncItems() {
    for (const auto& record : m_items) record->syncMark = 0;
    std::vector<BCMenuData*> order;
    std::vector<std::unique_ptr<BCMenuData>> created;
    const int count = GetMenuItemCount(m_hMenu);
    for (int pos = 0; pos < count; ++pos) {
        const uint32_t state = GetMenuState(m_hMenu, static_cast<uint32_t>(pos), MF_BYPOSITION);
        const bool popup = (state & MF_POPUP) != 0;
        const bool separator = !popup && (state & MF_SEPARATOR) != 0;
        const std::uintptr_t id = popup ? GetSubMenu(m_hMenu, pos) : separator ? 0 : GetMenuItemID(m_hMenu, pos);
        const QString text = GetMenuString(m_hMenu, static_cast<uint32_t>(pos), MF_BYPOSITION);
        const auto it = std::find_if(m_items.begin(), m_items.end(),
                                     [&](const auto& r) { return r->syncMark == 0 && r->commandId == id; });
        BCMenuData* record = nullptr;
        if (it != m_items.end()) {
            record = it->get();
            record->syncMark = 1;
            if (!separator && !text.isEmpty()) record->SetText(text);
            if (!popup && !separator) record->flags = state | 0x500;
        } else {
            created.push_back(newRecord(separator ? QString("") : text,
                                        popup ? (state & 0xFF) | 0x510 : separator ? state | 0xD00 : state | 0x500, id));
            record = created.back().get();
            record->syncMark = 1;
        }
        if (!popup || it == m_items.end())
            menus::ModifyMenu(m_hMenu, static_cast<uint32_t>(pos), record->flags | MF_OWNERDRAW | MF_BYPOSITION, id,
                              QString(), record);
        order.push_back(record);
    }
    std::vector<std::unique_ptr<BCMenuData>> rebuilt;
    for (BCMenuData* record : order) {
        auto own = std::find_if(m_items.begin(), m_items.end(), [&](const auto& r) { return r.get() == record; });
        auto fresh = std::find_if(created.begin(), created.end(), [&](const auto& r) { return r.get() == record; });
        rebuilt.push_back(own != m_items.end() ? std::move(*own) : std::move(*fresh));
    }
    m_items = std::move(rebuilt);
}

void BCMenu::SyncMenu(BCMenu* menu) {
    if (menu != nullptr) menu->SyncItems();
}

uint32_t BCMenu::FindShortcut(QChar ch, uint32_t flags, HMENU handle) {
    BCMenu* menu = FromHandlePermanent(handle);
    if ((flags & MF_POPUP) == 0 || menu == nullptr) return 0;
    const QString search = QStringLiteral("&") + ch.toLower();
    if (GetMenuItemCount(handle) != std::ssize(menu->m_items)) menu->SyncItems();
    for (size_t pos = 0; pos < menu->m_items.size(); ++pos)
        if (menu->m_items[pos]->text.toLower().contains(search)) return MNC_EXECUTE << 16 | static_cast<uint32_t>(pos);
    return 0;
}

void BCMenu::SetImageSize(int width, int height) {
    m_imageWidth = width;
    m_imageHeight = height;
}

void BCMenu::SetImageBackground(COLORREF color) {
    m_imageBackground = color;
    m_useImageBackground = true;
}

void BCMenu::SetDrawMode(int mode) {
    g_bcmDrawModeXp = mode;
    g_bcmDrawModeClassic = mode;
}

int BCMenu::ShellTypeOf(bool ntFamily, uint32_t major, uint32_t minor) {
    if (ntFamily) {
        if (major == 4) return 5;
        if (major == 5 && minor == 0) return 6;
        if (major == 5 && minor == 1) return 7;
        return 1;
    }
    if (major < 4) return 0;
    if (major == 4 && minor == 10) return 3;
    if (major == 4 && minor == 90) return 4;
    return 2;
}

int BCMenu::GetShellType() {
    const platform::OsVersion v = platform::osVersion();
    return ShellTypeOf(true, v.major, v.minor);
}

bool BCMenu::IsThemedXp() {
    // The desktop theme has no classic-theme setting here: the check finds none.
    g_bcmClassicThemeChecked = 1;
    return g_bcmShellType == 7 && g_bcmClassicTheme == 0;
}

bool BCMenu::IsXpStyle() {
    return IsThemedXp() ? g_bcmDrawModeXp == 1 : g_bcmDrawModeClassic == 1;
}

QFont BCMenu::menuFont() {
    return QApplication::font("QMenu");
}

int BCMenu::menuLineHeight() {
    if (g_menuLineHeight > 0) return g_menuLineHeight;
    return QFontMetrics(menuFont()).height() + 6;
}

void BCMenu::setMenuLineHeightForTest(int height) {
    g_menuLineHeight = height;
}

void BCMenu::MeasureItem(MeasureItemStruct& item) const {
    const bool xp = IsXpStyle();
    const int gap = xp && g_bcmOptionFlag != 0 ? 7 : 4;
    const BCMenuData& record = *item.data;
    if ((record.flags & MF_SEPARATOR) != 0) {
        item.itemWidth = 0;
        item.itemHeight = std::max(menuLineHeight() / 2, (m_imageHeight + gap) / 2);
        return;
    }
    const QFontMetrics metrics(g_bcmShellType >= 2 ? menuFont() : QApplication::font());
    int textWidth = metrics.horizontalAdvance(record.text);
    if (g_bcmShellType == 0) {
        // The older shells measure a little wider, by three average characters; an empty
        // text has no characters to average over.
        const int chars = static_cast<int>(record.text.size());
        textWidth += 3 + (chars > 0 ? 3 * (textWidth / chars) : 0);
    }
    item.itemWidth = xp ? m_imageWidth + gap + textWidth + 8 : textWidth + 2 * m_imageWidth + 1;
    item.itemHeight = std::max(menuLineHeight(), m_imageHeight + gap);
}
