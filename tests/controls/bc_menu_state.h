#pragma once
// The owner-drawn menu's shared state as a fresh program has it; tests reset it before and
// after they change it.
#include "controls/bc_menu.h"
#include "platform/os_version.h"

inline void resetMenuState() {
    platform::setOsVersionForTest({});
    BCMenu::g_bcmShellType = BCMenu::GetShellType();
    BCMenu::SetDrawMode(0);
    BCMenu::g_bcmDrawModeXp = 1;
    BCMenu::g_bcmImageList.DeleteImageList();
    BCMenu::g_bcmImageIds.clear();
    BCMenu::setMenuLineHeightForTest(20);
    BCMenu::SetResourceLookup(nullptr, nullptr);
}
