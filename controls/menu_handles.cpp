#include "controls/menu_handles.h"

#include <map>
#include <vector>

namespace menus {
namespace {

struct Item {
    uint32_t flags;
    std::uintptr_t id;
    QString text;
    const void* data;
};

struct Menu {
    std::vector<Item> items;
};

struct Table {
    std::map<HMENU, Menu> menus;
    HMENU next = 0x10000000;  // far above every 16-bit command id
};

Table& table() {
    static Table t;
    return t;
}

Menu* menuOf(HMENU menu) {
    auto it = table().menus.find(menu);
    return it == table().menus.end() ? nullptr : &it->second;
}

struct Found {
    Menu* menu = nullptr;
    size_t index = 0;
};

Found findByCommand(HMENU handle, uint32_t command) {
    Menu* menu = menuOf(handle);
    if (menu == nullptr) return {};
    for (size_t i = 0; i < menu->items.size(); ++i) {
        const Item& item = menu->items[i];
        if ((item.flags & MF_POPUP) != 0) {
            if (Found inner = findByCommand(item.id, command); inner.menu != nullptr) return inner;
        } else if (item.id == command) {
            return {menu, i};
        }
    }
    return {};
}

Found find(HMENU handle, uint32_t position, uint32_t flags) {
    if ((flags & MF_BYPOSITION) == 0) return findByCommand(handle, position);
    Menu* menu = menuOf(handle);
    if (menu == nullptr || position >= menu->items.size()) return {};
    return {menu, position};
}

Item makeItem(uint32_t flags, std::uintptr_t id, const QString& text, const void* data) {
    const bool owner = (flags & MF_OWNERDRAW) != 0;
    const bool separator = (flags & MF_SEPARATOR) != 0;
    return {flags & ~MF_BYPOSITION, id, owner || separator ? QString() : text, owner ? data : nullptr};
}

HMENU create() {
    Table& t = table();
    const HMENU handle = t.next++;
    t.menus[handle] = {};
    return handle;
}

}  // namespace

HMENU CreateMenu() { return create(); }
HMENU CreatePopupMenu() { return create(); }

bool IsMenu(HMENU menu) { return menuOf(menu) != nullptr; }

bool DestroyMenu(HMENU handle) {
    Menu* menu = menuOf(handle);
    if (menu == nullptr) return false;
    const std::vector<Item> items = std::move(menu->items);
    table().menus.erase(handle);
    for (const Item& item : items)
        if ((item.flags & MF_POPUP) != 0) DestroyMenu(item.id);
    return true;
}

int GetMenuItemCount(HMENU handle) {
    const Menu* menu = menuOf(handle);
    return menu == nullptr ? -1 : static_cast<int>(menu->items.size());
}

bool AppendMenu(HMENU handle, uint32_t flags, std::uintptr_t id, const QString& text, const void* data) {
    Menu* menu = menuOf(handle);
    if (menu == nullptr) return false;
    menu->items.push_back(makeItem(flags, id, text, data));
    return true;
}

bool InsertMenu(HMENU handle, uint32_t position, uint32_t flags, std::uintptr_t id, const QString& text,
                const void* data) {
    Found at{menuOf(handle), 0};
    if (at.menu == nullptr) return false;
    if ((flags & MF_BYPOSITION) != 0) {
        at.index = std::min<size_t>(position, at.menu->items.size());
    } else {
        at = findByCommand(handle, position);
        if (at.menu == nullptr) return false;
    }
    at.menu->items.insert(at.menu->items.begin() + static_cast<std::ptrdiff_t>(at.index),
                          makeItem(flags, id, text, data));
    return true;
}

bool ModifyMenu(HMENU handle, uint32_t position, uint32_t flags, std::uintptr_t id, const QString& text,
                const void* data) {
    const Found at = find(handle, position, flags);
    if (at.menu == nullptr) return false;
    at.menu->items[at.index] = makeItem(flags, id, text, data);
    return true;
}

bool RemoveMenu(HMENU handle, uint32_t position, uint32_t flags) {
    const Found at = find(handle, position, flags);
    if (at.menu == nullptr) return false;
    at.menu->items.erase(at.menu->items.begin() + static_cast<std::ptrdiff_t>(at.index));
    return true;
}

bool DeleteMenu(HMENU handle, uint32_t position, uint32_t flags) {
    const Found at = find(handle, position, flags);
    if (at.menu == nullptr) return false;
    const Item item = at.menu->items[at.index];
    at.menu->items.erase(at.menu->items.begin() + static_cast<std::ptrdiff_t>(at.index));
    if ((item.flags & MF_POPUP) != 0) DestroyMenu(item.id);
    return true;
}

uint32_t GetMenuState(HMENU handle, uint32_t position, uint32_t flags) {
    const Found at = find(handle, position, flags);
    if (at.menu == nullptr) return kNoItem;
    const Item& item = at.menu->items[at.index];
    if ((item.flags & MF_POPUP) == 0) return item.flags;
    const int count = GetMenuItemCount(item.id);
    return static_cast<uint32_t>(std::max(count, 0)) << 8 | (item.flags & 0xFF);
}

uint32_t GetMenuItemID(HMENU handle, int position) {
    const Found at = find(handle, static_cast<uint32_t>(position), MF_BYPOSITION);
    if (at.menu == nullptr || position < 0) return kNoItem;
    const Item& item = at.menu->items[at.index];
    return (item.flags & MF_POPUP) != 0 ? kNoItem : static_cast<uint32_t>(item.id);
}

HMENU GetSubMenu(HMENU handle, int position) {
    const Found at = find(handle, static_cast<uint32_t>(position), MF_BYPOSITION);
    if (at.menu == nullptr || position < 0) return 0;
    const Item& item = at.menu->items[at.index];
    return (item.flags & MF_POPUP) != 0 ? item.id : 0;
}

QString GetMenuString(HMENU handle, uint32_t position, uint32_t flags) {
    const Found at = find(handle, position, flags);
    return at.menu == nullptr ? QString() : at.menu->items[at.index].text;
}

const void* GetMenuItemData(HMENU handle, int position) {
    const Found at = find(handle, static_cast<uint32_t>(position), MF_BYPOSITION);
    return at.menu == nullptr || position < 0 ? nullptr : at.menu->items[at.index].data;
}

}  // namespace menus
