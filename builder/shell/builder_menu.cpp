#include "builder/shell/builder_menu.h"

namespace brindlecor::builder {

namespace {

struct Named {
    Item item;
    std::string_view name;
};

constexpr Named kNames[] = {
    {Item::mnuFile, "mnuFile"},
    {Item::mnuOpenFile, "mnuOpenFile"},
    {Item::mnuPrevFiles, "mnuPrevFiles"},
    {Item::mnuExit, "mnuExit"},
    {Item::mnuDownload, "mnuDownload"},
    {Item::mnuMakeDefinitions, "mnuMakeDefinitions"},
    {Item::mnuDownloadBrindlecor, "mnuDownloadBrindlecor"},
    {Item::mnuMakeandDownload, "mnuMakeandDownload"},
    {Item::mnuConfigure, "mnuConfigure"},
    {Item::mnuEthernetIPAddress, "mnuEthernetIPAddress"},
    {Item::mnuPortDownload, "mnuPortDownload"},
    {Item::mnuDownloadPassword, "mnuDownloadPassword"},
    {Item::mnuEditorFileDef, "mnuEditorFileDef"},
    {Item::mnuSilentErrors, "mnuSilentErrors"},
    {Item::mnuResetDefaults, "mnuResetDefaults"},
    {Item::mnuClearIPlist, "mnuClearIPlist"},
    {Item::mnuIPaddress, "mnuIPaddress"},
    {Item::mnuoverride, "mnuoverride"},
    {Item::mnuSaveOverrides, "mnuSaveOverrides"},
    {Item::mnuLoadSavedOverrides, "mnuLoadSavedOverrides"},
    {Item::mnuDeviceName, "mnuDeviceName"},
    {Item::mnuDefaultIPAddress, "mnuDefaultIPAddress"},
    {Item::mnuInitializeP1, "mnuInitializeP1"},
    {Item::mnuDHCP, "mnuDHCP"},
    {Item::mnuAccessPassword, "mnuAccessPassword"},
    {Item::mnuMasterPassword, "mnuMasterPassword"},
    {Item::mnuApplyOverrides, "mnuApplyOverrides"},
    {Item::mnuEditor, "mnuEditor"},
    {Item::mnuBrowser, "mnuBrowser"},
    {Item::mnuCalculator, "mnuCalculator"},
    {Item::mnuAbout, "mnuAbout"},
    {Item::mnuVersion, "mnuVersion"},
};

MenuLine menu(Item item, std::string caption) {
    return {MenuLine::Menu, {item}, std::move(caption), false};
}
MenuLine command(Item item, std::string caption) {
    return {MenuLine::MenuBarCommand, {item}, std::move(caption), false};
}
MenuLine entry(Item item, std::string caption, bool checkable = false, int index = 0) {
    return {MenuLine::Entry, {item, index}, std::move(caption), checkable};
}
MenuLine separator() {
    return {MenuLine::Separator, {Item::mnuFile}, "", false};
}

std::vector<MenuLine> buildTree() {
    std::vector<MenuLine> tree;
    tree.push_back(menu(Item::mnuFile, "&File"));
    tree.push_back(entry(Item::mnuOpenFile, "&Open"));
    tree.push_back(separator());
    for (int i = 1; i <= kRecentFileItems; ++i)
        tree.push_back(entry(Item::mnuPrevFiles, "&" + std::to_string(i), false, i));
    tree.push_back(separator());
    tree.push_back(entry(Item::mnuExit, "&Exit"));

    tree.push_back(menu(Item::mnuDownload, "&Download"));
    tree.push_back(entry(Item::mnuMakeDefinitions, "&Make Download File"));
    tree.push_back(entry(Item::mnuDownloadBrindlecor, "Down&load Brindlecor"));
    tree.push_back(entry(Item::mnuMakeandDownload, "Make and Download"));

    tree.push_back(menu(Item::mnuConfigure, "&Configure"));
    tree.push_back(entry(Item::mnuEthernetIPAddress, "IP Address for Download: "));
    tree.push_back(entry(Item::mnuPortDownload, "Port Address for Download"));
    tree.push_back(entry(Item::mnuDownloadPassword, "Download &Password", true));
    tree.push_back(entry(Item::mnuEditorFileDef, "&Editor Program"));
    tree.push_back(entry(Item::mnuSilentErrors, "&Silent Errors", true));
    tree.push_back(separator());
    tree.push_back(entry(Item::mnuResetDefaults, "&Reset Default IP and Port"));
    tree.push_back(entry(Item::mnuClearIPlist, "&Clear IP List"));
    tree.push_back(separator());
    for (int i = 1; i <= kIpListItems; ++i)
        tree.push_back(entry(Item::mnuIPaddress, "&" + std::to_string(i), false, i));

    tree.push_back(menu(Item::mnuoverride, "&Override"));
    tree.push_back(entry(Item::mnuSaveOverrides, "Save Overrides"));
    tree.push_back(entry(Item::mnuLoadSavedOverrides, "Load Saved Overrides"));
    tree.push_back(separator());
    tree.push_back(entry(Item::mnuDeviceName, "Device Name", true));
    tree.push_back(entry(Item::mnuDefaultIPAddress, "Default IP Address", true));
    tree.push_back(entry(Item::mnuInitializeP1, "Initialize P1", true));
    tree.push_back(entry(Item::mnuDHCP, "DHCP", true));
    tree.push_back(entry(Item::mnuAccessPassword, "Access Password", true));
    tree.push_back(entry(Item::mnuMasterPassword, "Master Password", true));
    tree.push_back(separator());
    tree.push_back(entry(Item::mnuApplyOverrides, "Apply Overrides to Download", true));

    tree.push_back(command(Item::mnuEditor, "&Editor"));
    tree.push_back(command(Item::mnuBrowser, "&Browser"));
    tree.push_back(command(Item::mnuCalculator, "Calcu&lator"));

    tree.push_back(menu(Item::mnuAbout, "&About"));
    tree.push_back(entry(Item::mnuVersion, ""));
    return tree;
}

}  // namespace

std::string objectName(MenuRef ref) {
    for (const auto& named : kNames) {
        if (named.item != ref.item) continue;
        std::string name(named.name);
        if (ref.index > 0) name += std::to_string(ref.index);
        return name;
    }
    return {};
}

const std::vector<MenuLine>& menuTree() {
    static const std::vector<MenuLine> tree = buildTree();
    return tree;
}

}  // namespace brindlecor::builder
