#include "server/shell/server_menu.h"

namespace brindlecor::server {

namespace {

std::vector<MenuLine> buildTree() {
    using enum MenuLine::Kind;
    std::vector<MenuLine> tree;
    tree.push_back({Menu, {Item::mnuFile}, "&File"});
    tree.push_back({Entry, {Item::mnuOpen}, "&Open"});
    tree.push_back({Separator, {Item::mnuFile}, ""});
    for (int i = 1; i <= kRecentImageItems; ++i)
        tree.push_back({Entry, {Item::mnuPrevFiles, i}, "&" + std::to_string(i)});
    tree.push_back({Separator, {Item::mnuFile}, ""});
    tree.push_back({Entry, {Item::mnuExit}, "E&xit"});
    tree.push_back({MenuBarCommand, {Item::mnuBrowser}, "&Browser"});
    tree.push_back({Menu, {Item::mnuCOMMs}, "&Comm"});
    for (int i = 1; i <= kCommItems; ++i)
        tree.push_back({Entry, {Item::mnuCOMM, i}, "COM&" + std::to_string(i), true});
    tree.push_back({MenuBarCommand, {Item::mnuReload}, "&Reload"});
    tree.push_back({Menu, {Item::mnuAbout}, "&About"});
    tree.push_back({Entry, {Item::mnuVersion}, "Version"});
    return tree;
}

}  // namespace

std::string objectName(MenuRef ref) {
    static constexpr const char* kNames[] = {"mnuFile",  "mnuOpen", "mnuPrevFiles", "mnuExit",  "mnuBrowser",
                                             "mnuCOMMs", "mnuCOMM", "mnuReload",    "mnuAbout", "mnuVersion"};
    std::string name = kNames[static_cast<int>(ref.item)];
    if (ref.index > 0) name += std::to_string(ref.index);
    return name;
}

const std::vector<MenuLine>& menuTree() {
    static const std::vector<MenuLine> tree = buildTree();
    return tree;
}

}  // namespace brindlecor::server
