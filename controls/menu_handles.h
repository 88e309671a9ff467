#pragma once
// Menus as the window system keeps them: numbered handles, each with a list of items that
// carry the Windows menu flags, a command id (the sub-menu's handle for a popup), a text for
// plain items and an item data word for owner-drawn ones. Items are addressed by position
// (MF_BYPOSITION) or by command, which searches the sub-menus depth-first. User-interface
// thread only.
#include <QString>
#include <cstdint>

namespace menus {

using HMENU = std::uintptr_t;  // 0: no menu

constexpr uint32_t MF_BYCOMMAND = 0x000;
constexpr uint32_t MF_GRAYED = 0x001;
constexpr uint32_t MF_DISABLED = 0x002;
constexpr uint32_t MF_CHECKED = 0x008;
constexpr uint32_t MF_POPUP = 0x010;
constexpr uint32_t MF_END = 0x080;
constexpr uint32_t MF_OWNERDRAW = 0x100;
constexpr uint32_t MF_BYPOSITION = 0x400;
constexpr uint32_t MF_SEPARATOR = 0x800;
constexpr uint32_t kNoItem = 0xFFFFFFFF;

HMENU CreateMenu();
HMENU CreatePopupMenu();
bool IsMenu(HMENU menu);
// Destroys the menu and every popup it holds.
bool DestroyMenu(HMENU menu);
int GetMenuItemCount(HMENU menu);  // -1 when there is no such menu

// position: an index with MF_BYPOSITION, else a command id. Insert and append with
// MF_BYPOSITION at an index past the end append.
bool AppendMenu(HMENU menu, uint32_t flags, std::uintptr_t id, const QString& text, const void* data = nullptr);
bool InsertMenu(HMENU menu, uint32_t position, uint32_t flags, std::uintptr_t id, const QString& text,
                const void* data = nullptr);
bool ModifyMenu(HMENU menu, uint32_t position, uint32_t flags, std::uintptr_t id, const QString& text,
                const void* data = nullptr);
// Remove detaches a popup's sub-menu; Delete destroys it.
bool RemoveMenu(HMENU menu, uint32_t position, uint32_t flags);
bool DeleteMenu(HMENU menu, uint32_t position, uint32_t flags);

// The item's flags; for a popup the sub-menu's item count in bits 8 to 15 and the low flag
// byte. kNoItem when there is no such item.
uint32_t GetMenuState(HMENU menu, uint32_t position, uint32_t flags);
// The command id; kNoItem for a popup or a missing item.
uint32_t GetMenuItemID(HMENU menu, int position);
HMENU GetSubMenu(HMENU menu, int position);
// The text of a plain item; empty for owner-drawn items and separators.
QString GetMenuString(HMENU menu, uint32_t position, uint32_t flags);
const void* GetMenuItemData(HMENU menu, int position);

}  // namespace menus
