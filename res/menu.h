#pragma once
// Menus as data: a tree of items with their command ids.
#include <vector>

namespace res {

struct MenuItem {
    const char* text;             // nullptr for a separator
    int command;                  // 0 for a popup
    std::vector<MenuItem> popup;  // the items of a popup
};

struct MenuTemplate {
    int id;
    std::vector<MenuItem> items;
};

// The main window's menu bar.
extern const MenuTemplate kMenu129;

}  // namespace res
