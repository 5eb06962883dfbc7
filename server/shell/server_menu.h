// The server window's menu tree as designed: every item by its designed name, the item arrays (recent
// images 1-4, COM1-COM4) by name and index, and the captions and check marks the window starts with.
#pragma once

#include <string>
#include <vector>

namespace brindlecor::server {

enum class Item {
    mnuFile,
    mnuOpen,
    mnuPrevFiles,  // 1-4
    mnuExit,
    mnuBrowser,
    mnuCOMMs,
    mnuCOMM,  // 1-4
    mnuReload,
    mnuAbout,
    mnuVersion,
};

// One menu item; index is 1-based for the items of an array and 0 otherwise.
struct MenuRef {
    Item item;
    int index = 0;
    bool operator==(const MenuRef&) const = default;
};

// The designed name of the item, with the index after an array's name: "mnuOpen", "mnuCOMM3".
std::string objectName(MenuRef ref);

// One line of the menu tree: a menu on the menu bar, a command on the menu bar itself, an item inside the
// last menu, or a separator.
struct MenuLine {
    enum Kind { Menu, MenuBarCommand, Entry, Separator } kind;
    MenuRef ref{Item::mnuFile};
    std::string caption;
    bool checkable = false;
};

// The whole tree in order, with the captions the items carry before start-up changes them.
const std::vector<MenuLine>& menuTree();

constexpr int kRecentImageItems = 4;
constexpr int kCommItems = 4;

}  // namespace brindlecor::server
