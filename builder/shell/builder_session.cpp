#include "builder/shell/builder_session.h"

#include <filesystem>

#include "builder/download/download_target.h"
#include "builder/image/site_paths.h"
#include "builder/shell/command_line.h"
#include "builder/shell/target_lists.h"
#include "common/download_protocol.h"
#include "common/ip_text.h"
#include "common/path_text.h"
#include "common/settings_keys.h"
#include "common/text.h"

namespace brindlecor::builder {

namespace keys = brindlecor::settings;

namespace {

constexpr std::string_view kTitle = "Tamarquill";
constexpr std::string_view kResetAddress = "192.168.1.250";
constexpr std::string_view kAddressCaption = "IP &Address for Download: ";

bool isFolder(const std::string& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::is_directory(path, ec);
}

std::string inQuotes(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

}  // namespace

BuilderSession::BuilderSession(SessionView& view, SettingsStore& settings, DownloadSocket& socket,
                               Platform platform)
    : view_(view),
      settings_(settings),
      socket_(socket),
      platform_(std::move(platform)),
      builder_(*this, *platform_.clock),
      sender_(socket_, *this, builder_.log(), platform_.seconds, platform_.flushArpCache) {
    password_.fill(0xFF);
    ipList_.assign(kIpListItems, "");
    recentFiles_.assign(kRecentFileItems, "");
}

void BuilderSession::startup() {
    setStartupDefaults(builder_.settings());

    view_.setPanelToolTip(SessionView::kDefinitionsPanel, "Object Definitions File");
    view_.setPanelToolTip(SessionView::kSiteFilePanel, "Site File");
    view_.setPanelToolTip(SessionView::kErrorPanel, "Error Status");
    view_.setPanelToolTip(SessionView::kTargetPanel, "Download Address and Port");
    view_.setPanelToolTip(SessionView::kDownloadPanel, "Download Status");

    const DownloadTarget target = loadDownloadTarget(settings_);
    address_ = target.address;
    setAddressCaption();
    port_ = target.port;
    setPortCaption(false);
    sender_.setTarget(address_, port_);
    showTarget(true);

    editorPath_ = keys::value(settings_, keys::kEditor);
    setEditorCaption();

    recentFiles_ = loadRecentFiles(settings_);
    refreshRecentMenu();
    ipList_ = loadIPList(settings_);
    refreshIPMenu();

    for (Item item :
         {Item::mnuEditor, Item::mnuMakeDefinitions, Item::mnuMakeandDownload, Item::mnuDownloadBrindlecor})
        view_.setEnabled({item}, false);

    // A port that another program holds is tried again when a download needs it.
    socket_.bind(platform_.localPort);

    password_ = loadDownloadPassword(settings_);
    view_.setChecked({Item::mnuDownloadPassword}, !isNoDownloadPassword(password_));

    view_.setCaption({Item::mnuVersion}, kBuilderVersionText);

    calculator_.clear();
    for (std::string_view name : kCalculators) {
        calculator_ = view_.findProgram(std::string(name));
        if (!calculator_.empty()) break;
    }
    view_.setEnabled({Item::mnuCalculator}, !calculator_.empty());
}

void BuilderSession::trigger(MenuRef item) {
    switch (item.item) {
        case Item::mnuOpenFile:
            return mnuOpenFile();
        case Item::mnuPrevFiles:
            return mnuPrevFiles(item.index);
        case Item::mnuExit:
            return mnuExit();
        case Item::mnuMakeDefinitions:
            return mnuMakeDefinitions();
        case Item::mnuDownloadBrindlecor:
            return mnuDownloadBrindlecor();
        case Item::mnuMakeandDownload:
            return mnuMakeandDownload();
        case Item::mnuEthernetIPAddress:
            return mnuEthernetIPAddress();
        case Item::mnuPortDownload:
            return mnuPortDownload();
        case Item::mnuDownloadPassword:
            return mnuDownloadPassword();
        case Item::mnuEditorFileDef:
            return mnuEditorFileDef();
        case Item::mnuSilentErrors:
            return mnuSilentErrors();
        case Item::mnuResetDefaults:
            return mnuResetDefaults();
        case Item::mnuClearIPlist:
            return mnuClearIPlist();
        case Item::mnuIPaddress:
            return mnuIPaddress(item.index);
        case Item::mnuSaveOverrides:
            return mnuSaveOverrides();
        case Item::mnuLoadSavedOverrides:
            return mnuLoadSavedOverrides();
        case Item::mnuDeviceName:
            return promptOverride(OverrideKind::DeviceName);
        case Item::mnuDefaultIPAddress:
            return promptOverride(OverrideKind::DefaultIpAddress);
        case Item::mnuInitializeP1:
            return promptOverride(OverrideKind::InitializeP1);
        case Item::mnuDHCP:
            return mnuDHCP();
        case Item::mnuAccessPassword:
            return promptOverride(OverrideKind::AccessPassword);
        case Item::mnuMasterPassword:
            return promptOverride(OverrideKind::MasterPassword);
        case Item::mnuApplyOverrides:
            return mnuApplyOverrides();
        case Item::mnuEditor:
            return mnuEditor();
        case Item::mnuBrowser:
            return mnuBrowser();
        case Item::mnuCalculator:
            return mnuCalculator();
        default:
            return;  // the menus themselves, and the version, which does nothing
    }
}

// Files.

void BuilderSession::mnuOpenFile() {
    builder_.log().clearErrors();
    // The folder of the most recent file, else the home folder; the process's own folder is never changed.
    std::string folder = recentFiles_[0].empty() ? std::string() : pathDirectory(recentFiles_[0]);
    if (!isFolder(folder)) folder = platform_.homeFolder;
    if (const auto chosen = view_.chooseFile({std::string(kOpenFilter), folder})) openFile(*chosen);
}

void BuilderSession::openFile(const std::string& chosen) {
    // A copy: the name may be an entry of the recent files, which remembering it reorders.
    const std::string name = chosen;
    rememberFile(name);
    if (lowerCase(fileExtension(name)) != "kvb") {
        definitionsFile_ = name;
        view_.setPanelText(SessionView::kSiteFilePanel, "");
        view_.setPanelToolTip(SessionView::kSiteFilePanel, "Site File");
        view_.setPanelText(SessionView::kDefinitionsPanel, pathDisplayName(name));
        view_.setPanelToolTip(SessionView::kDefinitionsPanel, "Definitions File: " + name);
        view_.setEnabled({Item::mnuMakeDefinitions}, true);
        view_.setEnabled({Item::mnuMakeandDownload}, true);
        view_.setEnabled({Item::mnuEditor}, true);
        view_.setEnabled({Item::mnuDownloadBrindlecor}, false);
        return;
    }
    view_.setPanelText(SessionView::kDefinitionsPanel, "");
    view_.setPanelToolTip(SessionView::kDefinitionsPanel, "Object Definitions File");
    view_.setPanelText(SessionView::kSiteFilePanel, pathDisplayName(name));
    view_.setPanelToolTip(SessionView::kSiteFilePanel, "Site File: " + name);
    view_.setEnabled({Item::mnuMakeDefinitions}, false);
    view_.setEnabled({Item::mnuMakeandDownload}, false);
    view_.setEnabled({Item::mnuEditor}, false);
    view_.setEnabled({Item::mnuDownloadBrindlecor}, true);
    siteFile_ = name;
}

void BuilderSession::mnuPrevFiles(int index) {
    if (index < 1 || index > kRecentFileItems || recentFiles_[index - 1].empty()) return;
    builder_.log().clearErrors();
    openFile(recentFiles_[index - 1]);
}

void BuilderSession::openFromOutside(const std::string& path) {
    std::error_code ec;
    const auto absolute = std::filesystem::absolute(path, ec);
    builder_.log().clearErrors();
    openFile(ec ? path : absolute.lexically_normal().string());
}

void BuilderSession::rememberFile(const std::string& name) {
    if (!addRecentFile(recentFiles_, name, settings_)) saveFailed();
    refreshRecentMenu();
}

void BuilderSession::refreshRecentMenu() {
    for (int i = 1; i <= kRecentFileItems; ++i) {
        const std::string shown = pathDisplayName(recentFiles_[i - 1]);
        view_.setCaption({Item::mnuPrevFiles, i}, "&" + std::to_string(i) + " " + shown);
        view_.setVisible({Item::mnuPrevFiles, i}, !shown.empty());
    }
}

void BuilderSession::mnuExit() {
    view_.closeWindow();
}

// Make and download.

void BuilderSession::mnuMakeDefinitions() {
    if (definitionsFile_.empty()) return;
    builder_.make(definitionsFile_);
}

void BuilderSession::mnuDownloadBrindlecor() {
    download();
}

void BuilderSession::mnuMakeandDownload() {
    if (definitionsFile_.empty()) return;
    builder_.log().clearErrors();
    builder_.make(definitionsFile_);
    if (!builder_.log().hasErrors()) download();
}

void BuilderSession::download() {
    // One download at a time: a second one would interleave its datagrams with the first.
    if (sender_.running()) return;
    if (!socket_.bound() && socket_.bind(platform_.localPort)) {
        builder_.log().clearErrors();
        builder_.log().reportError("Downloading",
                                   "Cannot bind local UDP port " + std::to_string(platform_.localPort));
        return;
    }
    if (!prepareOverrides()) return;
    sender_.setTarget(address_, port_);
    sender_.setPassword(password_);
    sender_.start(siteFile_);
}

void BuilderSession::onDatagram(std::span<const uint8_t> datagram, const DatagramSource& from) {
    sender_.onReply(datagram, from);
}

void BuilderSession::onTick() {
    sender_.onTick(platform_.seconds());
}

// Download target and IP list.

void BuilderSession::setAddressCaption() {
    view_.setCaption({Item::mnuEthernetIPAddress}, std::string(kAddressCaption) + address_);
}

void BuilderSession::setPortCaption(bool changed) {
    view_.setCaption({Item::mnuPortDownload},
                     std::string(changed ? "Port Address for Downloading: " : "Port Address for Download: ") +
                         std::to_string(port_));
}

void BuilderSession::showTarget(bool withPort) {
    view_.setPanelText(SessionView::kTargetPanel,
                       withPort ? address_ + ":" + std::to_string(port_) : address_);
}

void BuilderSession::refreshIPMenu() {
    for (int i = 1; i <= kIpListItems; ++i) {
        const std::string& entry = ipList_[i - 1];
        view_.setCaption({Item::mnuIPaddress, i}, "&" + std::to_string(i) + " " + entry);
        view_.setVisible({Item::mnuIPaddress, i}, !entry.empty());
    }
}

void BuilderSession::mnuEthernetIPAddress() {
    const std::string answer = view_.inputBox(
        kTitle, "New IP Address for Downloading\r\nFollowed by Optional name of system", address_);
    if (answer.empty()) return;
    const std::string address = addressPart(answer);
    if (!IP_to_Long(address)) {
        warn(kTitle, inQuotes(address) + " is not an IP address: each of its numbers must be from 0 to 255");
        return;
    }
    address_ = address;
    setAddressCaption();
    showTarget(true);
    sender_.setTarget(address_, port_);
    if (!addIPEntry(ipList_, answer, settings_)) saveFailed();
    refreshIPMenu();
}

void BuilderSession::mnuIPaddress(int index) {
    if (index < 1 || index > kIpListItems || ipList_[index - 1].empty()) return;
    const std::string entry = ipList_[index - 1];
    address_ = addressPart(entry);
    setAddressCaption();
    showTarget(false);
    sender_.setTarget(address_, port_);
    if (!addIPEntry(ipList_, entry, settings_)) saveFailed();
    refreshIPMenu();
}

void BuilderSession::mnuClearIPlist() {
    if (!clearIPList(ipList_, settings_)) saveFailed();
    refreshIPMenu();
}

void BuilderSession::mnuPortDownload() {
    const std::string answer =
        view_.inputBox(kTitle, "New Port Address for Downloading", std::to_string(port_));
    if (!answer.empty()) {
        if (const int port = parsePort(trimSpaces(answer))) {
            port_ = port;
            showTarget(true);
            setPortCaption(true);
            // Datagrams leave from the same bound socket; only where they go changes.
            sender_.setTarget(address_, port_);
        } else {
            warn(kTitle, inQuotes(answer) + " is not a port number: it must be a whole number from 1 to 65535");
        }
    }
    if (!settings_.saveSetting(keys::kDownloadPort.name, std::to_string(port_))) saveFailed();
}

void BuilderSession::mnuResetDefaults() {
    port_ = download::kDownloadPort;
    if (!settings_.saveSetting(keys::kDownloadPort.name, std::to_string(port_))) saveFailed();
    address_ = std::string(kResetAddress);
    setAddressCaption();
    setPortCaption(true);
    sender_.setTarget(address_, port_);
    showTarget(true);
}

// Configuration.

void BuilderSession::mnuDownloadPassword() {
    const std::string answer = view_.inputBox(kTitle, "Enter Download Password", "");
    std::string error;
    password_ = enterDownloadPassword(answer, settings_, error);
    view_.setChecked({Item::mnuDownloadPassword}, !isNoDownloadPassword(password_));
    if (!error.empty()) warn(kTitle, error);
}

void BuilderSession::setEditorCaption() {
    view_.setCaption({Item::mnuEditorFileDef}, "&Editor " + pathDisplayName(editorPath_));
}

void BuilderSession::mnuEditorFileDef() {
    if (!isFolder(platform_.programFolder)) return;
    const auto chosen = view_.chooseFile({std::string(kEditorFilter), platform_.programFolder});
    if (!chosen) return;
    editorPath_ = *chosen;
    if (!settings_.saveSetting(keys::kEditor.name, editorPath_)) saveFailed();
    setEditorCaption();
}

void BuilderSession::mnuSilentErrors() {
    BuildLog& log = builder_.log();
    log.setSilentErrors(!log.silentErrors());
    view_.setChecked({Item::mnuSilentErrors}, log.silentErrors());
}

// Auxiliary commands.

void BuilderSession::mnuEditor() {
    if (definitionsFile_.empty()) return;
    if (!view_.startProgram(editorPath_, definitionsFile_)) warn(kTitle, "Editor Not Found");
}

void BuilderSession::mnuBrowser() {
    if (!view_.openUrl("http://" + address_)) warn(kTitle, "Browser Not Found");
}

void BuilderSession::mnuCalculator() {
    if (calculator_.empty() || !view_.startProgram(calculator_, "")) warn(kTitle, "Calculator Not Found");
}

void BuilderSession::warn(std::string_view title, std::string_view text) {
    view_.messageBox(title, text, BoxIcon::Exclamation);
}

void BuilderSession::saveFailed() {
    warn(kTitle, settings_.lastError());
}

// The build log and the download, shown in the window.

void BuilderSession::appendLog(std::string_view text) {
    view_.appendLog(text);
}
void BuilderSession::clearLog() {
    view_.clearLog();
}
void BuilderSession::showErrorState(bool errors) {
    view_.setPanelText(SessionView::kErrorPanel, errors ? "Errors" : "");
    view_.setLogErrorColours(errors);
}
void BuilderSession::errorReported(std::string_view, std::string_view, const SourceLocation*) {}
Answer BuilderSession::askOkCancel(std::string_view caption, std::string_view message) {
    return view_.askOkCancel(caption, message);
}
void BuilderSession::showErrorBox(std::string_view text) {
    view_.messageBox(kTitle, text, BoxIcon::Critical);
}
void BuilderSession::siteFileChanged(const std::string& path) {
    siteFile_ = path;
    view_.setEnabled({Item::mnuDownloadBrindlecor}, true);
    view_.setPanelText(SessionView::kSiteFilePanel, pathDisplayName(path));
    view_.setPanelToolTip(SessionView::kSiteFilePanel, "Site File: " + path);
}
void BuilderSession::showDownloadStatus(std::string_view text) {
    view_.setPanelText(SessionView::kDownloadPanel, text);
}
void BuilderSession::setProgressRange(int minimum, int maximum) {
    view_.setProgressRange(minimum, maximum);
}
void BuilderSession::setProgressValue(int value) {
    view_.setProgressValue(value);
}
YesNoCancel BuilderSession::askYesNoCancel(std::string_view title, std::string_view text) {
    return view_.askYesNoCancel(title, text);
}
void BuilderSession::showInformation(std::string_view title, std::string_view text) {
    view_.messageBox(title, text, BoxIcon::Information);
}
void BuilderSession::showLogErrorColours() {
    view_.setLogErrorColours(true);
}

}  // namespace brindlecor::builder
