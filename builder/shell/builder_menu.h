// The builder's menu tree as designed: every item by its designed name, the item arrays (recent files 1-4,
// IP list 1-16) by name and index, and the captions, separators and check marks the window starts with.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace brindlecor::builder {

enum class Item {
    mnuFile,
    mnuOpenFile,
    mnuPrevFiles,  // 1-4
    mnuExit,
    mnuDownload,
    mnuMakeDefinitions,
    mnuDownloadBrindlecor,
    mnuMakeandDownload,
    mnuConfigure,
    mnuEthernetIPAddress,
    mnuPortDownload,
    mnuDownloadPassword,
    mnuEditorFileDef,
    mnuSilentErrors,
    mnuResetDefaults,
    mnuClearIPlist,
    mnuIPaddress,  // 1-16
    mnuoverride,
    mnuSaveOverrides,
    mnuLoadSavedOverrides,
    mnuDeviceName,
    mnuDefaultIPAddress,
    mnuInitializeP1,
    mnuDHCP,
    mnuAccessPassword,
    mnuMasterPassword,
    mnuApplyOverrides,  // not stored: unchecked at every start
    mnuEditor,
    mnuBrowser,
    mnuCalculator,
    mnuAbout,
    mnuVersion,
};

// One menu item; index is 1-based for the items of an array and 0 otherwise.
struct MenuRef {
    Item item;
    int index = 0;
    bool operator==(const MenuRef&) const = default;
};

// The designed name of the item, with the index after an array's name: "mnuOpenFile", "mnuPrevFiles3".
std::string objectName(MenuRef ref);

// One line of the menu tree: a menu on the menu bar, an item inside the last menu, or a separator.
struct MenuLine {
    enum Kind { Menu, MenuBarCommand, Entry, Separator } kind;
    MenuRef ref{Item::mnuFile};
    std::string caption;
    bool checkable = false;
};

// The whole tree in order, with the captions the items carry before start-up changes them.
const std::vector<MenuLine>& menuTree();

constexpr int kRecentFileItems = 4;
constexpr int kIpListItems = 16;

}  // namespace brindlecor::builder
