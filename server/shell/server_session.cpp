#include "server/shell/server_session.h"

#include <QHostAddress>
#include <QNetworkInterface>
#include <charconv>
#include <filesystem>
#include <system_error>

#include "common/path_text.h"
#include "common/settings_keys.h"
#include "common/text.h"
#include "server/shell/command_line.h"

namespace brindlecor::server {

namespace keys = brindlecor::settings;

namespace {

bool isFolder(const std::string& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::is_directory(path, ec);
}

std::string portSuffix(uint16_t port) {
    return port == 80 ? std::string() : ":" + std::to_string(port);
}

// A bind address as the host part of an address: an IPv6 one in brackets.
std::string hostPart(const std::string& address) {
    return address.find(':') == std::string::npos ? address : "[" + address + "]";
}

}  // namespace

ServerSession::ServerSession(ServerView& view, SettingsStore& settings, ServeOptions options,
                             Platform platform)
    : view_(view), settings_(settings), platform_(std::move(platform)), server_(std::move(options)) {
    ServerRuntime& runtime = server_.runtime();
    runtime.setPrintVisits(false);
    QObject::connect(&runtime, &ServerRuntime::visited, &runtime, [this] { showVisit(); });
    // A reset, a speed command or a line that went away opens or closes the port behind the menu's back.
    QObject::connect(&server_.serial(), &SerialRuntime::portChanged, &server_.serial(),
                     [this] { refreshCommMenu(); });
}

ServerSession::~ServerSession() = default;

void ServerSession::startup() {
    view_.setEnabled({Item::mnuBrowser}, false);
    view_.setEnabled({Item::mnuReload}, false);
    view_.setCaption({Item::mnuVersion}, kServerVersionText);

    recentImages_.assign(kRecentImageItems, "");
    for (int i = 1; i <= kRecentImageItems; ++i)
        recentImages_[static_cast<size_t>(i - 1)] =
            settings_.getSetting(keys::numbered(keys::kRecentFileStem, i), "");
    refreshRecentMenu();
    refreshCommMenu();

    // A saved port that is not a number means none, as 0 does.
    const std::string saved = trimSpaces(keys::value(settings_, keys::kCommPort));
    int number = 0;
    const auto [end, ec] = std::from_chars(saved.data(), saved.data() + saved.size(), number);
    if (ec == std::errc() && end == saved.data() + saved.size() && number != 0) mnuCOMM(number);
}

void ServerSession::trigger(MenuRef item) {
    switch (item.item) {
        case Item::mnuOpen:
            return mnuOpen();
        case Item::mnuPrevFiles:
            return mnuPrevFiles(item.index);
        case Item::mnuExit:
            return mnuExit();
        case Item::mnuBrowser:
            return mnuBrowser();
        case Item::mnuCOMMs:
            return mnuCOMMs();
        case Item::mnuCOMM:
            return mnuCOMM(item.index);
        case Item::mnuReload:
            return mnuReload();
        default:
            return;  // the menus themselves, and the version, which does nothing
    }
}

// Images.

void ServerSession::mnuOpen() {
    std::string folder = imagePath_.empty() ? std::string() : pathDirectory(imagePath_);
    if (!isFolder(folder)) folder = platform_.homeFolder;
    const auto chosen = view_.chooseFile({std::string(kOpenFilter), folder});
    if (!chosen) return;
    std::error_code ec;
    if (!std::filesystem::exists(*chosen, ec)) {
        view_.setEnabled({Item::mnuBrowser}, false);
        view_.setEnabled({Item::mnuReload}, false);
        return;
    }
    openImage(*chosen);
}

void ServerSession::openImage(const std::string& path) {
    // A copy: the path may be an entry of the recent images, which remembering it reorders.
    const std::string name = path;
    const DeviceServer::Opened opened = server_.open(name);
    if (opened.outcome == DeviceServer::Opened::Outcome::ImageRefused) {
        view_.messageBox(kErrorTitle, opened.imageError, BoxIcon::Critical);
        return;
    }
    view_.setBoxText(ServerView::kAddressBox, "");
    recentImages_.resize(kRecentImageItems);
    if (addRecentEntry(recentImages_, name)) {
        bool saved = true;
        for (int i = 1; i <= kRecentImageItems; ++i)
            saved = settings_.saveSetting(keys::numbered(keys::kRecentFileStem, i),
                                          recentImages_[static_cast<size_t>(i - 1)]) &&
                    saved;
        if (!saved) warn(settings_.lastError());
    }
    refreshRecentMenu();
    imagePath_ = name;
    view_.setImagePanel(name);
    if (opened.outcome == DeviceServer::Opened::Outcome::CannotListen) {
        view_.messageBox(kErrorTitle, kCannotListenText, BoxIcon::Critical);
        return;
    }
    view_.setBoxText(ServerView::kAddressBox, addressText(opened.listen));
    view_.setEnabled({Item::mnuBrowser}, true);
    view_.setEnabled({Item::mnuReload}, true);
    if (!opened.udpError.empty()) view_.messageBox(kErrorTitle, opened.udpError, BoxIcon::Exclamation);
}

void ServerSession::mnuPrevFiles(int index) {
    if (index < 1 || index > kRecentImageItems || recentImages_[static_cast<size_t>(index - 1)].empty())
        return;
    openImage(recentImages_[static_cast<size_t>(index - 1)]);
}

void ServerSession::openFromOutside(const std::string& path) {
    std::error_code ec;
    const auto absolute = std::filesystem::absolute(path, ec);
    openImage(ec ? path : absolute.lexically_normal().string());
}

void ServerSession::mnuReload() {
    if (imagePath_.empty()) return;
    if (auto error = server_.reload()) view_.messageBox(kErrorTitle, *error, BoxIcon::Critical);
}

void ServerSession::refreshRecentMenu() {
    for (int i = 1; i <= kRecentImageItems; ++i) {
        const std::string& path = recentImages_[static_cast<size_t>(i - 1)];
        view_.setCaption({Item::mnuPrevFiles, i}, "&" + std::to_string(i) + " " + pathDisplayName(path));
        view_.setVisible({Item::mnuPrevFiles, i}, !path.empty());
    }
}

// The serial port.

void ServerSession::mnuCOMMs() {
    const auto available = server_.serial().probeComPorts();
    for (int i = 1; i <= kCommItems; ++i)
        view_.setEnabled({Item::mnuCOMM, i}, available[static_cast<size_t>(i - 1)]);
    refreshCommMenu();
}

void ServerSession::mnuCOMM(int number) {
    SerialRuntime& serial = server_.serial();
    if (serial.isOpen()) {
        const int was = serial.openComPortNumber();
        serial.closePort();
        // Choosing the checked port turns it off, also for the next start.
        if (was == number) {
            if (!settings_.deleteSetting(keys::kCommPort.name)) warn(settings_.lastError());
            refreshCommMenu();
            return;
        }
    }
    if (number < 1 || number > kCommItems || serial.openComPort(number)) {
        warn("COM" + std::to_string(number) + " Not Available");
    } else if (!settings_.saveSetting(keys::kCommPort.name, std::to_string(number))) {
        warn(settings_.lastError());
    }
    refreshCommMenu();
}

void ServerSession::refreshCommMenu() {
    const int open = server_.serial().openComPortNumber();
    for (int i = 1; i <= kCommItems; ++i) {
        view_.setChecked({Item::mnuCOMM, i}, i == open);
        view_.setStatusTip({Item::mnuCOMM, i}, SerialRuntime::comPortPath(i));
    }
}

// The rest.

void ServerSession::mnuBrowser() {
    if (!view_.openUrl(browserUrl())) warn("Browser Not Found");
}

void ServerSession::mnuExit() {
    view_.closeWindow();
}

void ServerSession::shutdown() {
    server_.close();
}

void ServerSession::showVisit() {
    const ServerRuntime& runtime = server_.runtime();
    view_.setBoxText(ServerView::kLastVisitorBox, runtime.lastVisitor().toStdString());
    view_.setBoxText(ServerView::kAccessCountBox, runtime.accessCountText().toStdString());
}

void ServerSession::warn(std::string_view text) {
    view_.messageBox(kWarningTitle, text, BoxIcon::Exclamation);
}

std::string ServerSession::addressText(const ListenResult& listening) const {
    std::string host;
    switch (listening.host) {
        case ListenResult::Host::None:
            return {};
        case ListenResult::Host::Every:
            host = localAddress();
            break;
        case ListenResult::Host::Given:
            host = hostPart(server_.runtime().options().bindAddress);
            break;
        case ListenResult::Host::Loopback:
            host = "localhost";
            break;
    }
    return "http://" + host + portSuffix(listening.port);
}

std::string ServerSession::browserUrl() const {
    const ServerRuntime& runtime = server_.runtime();
    const ListenResult& listening = runtime.listening();
    const uint16_t port = listening ? listening.port : runtime.options().httpPort;
    const std::string host = listening.host == ListenResult::Host::Given
                                 ? hostPart(runtime.options().bindAddress)
                                 : std::string("localhost");
    return "http://" + host + portSuffix(port) + "/";
}

std::string ServerSession::localAddress() {
    for (const QNetworkInterface& interface : QNetworkInterface::allInterfaces()) {
        const auto flags = interface.flags();
        if (!(flags & QNetworkInterface::IsUp) || !(flags & QNetworkInterface::IsRunning) ||
            (flags & QNetworkInterface::IsLoopBack))
            continue;
        for (const QNetworkAddressEntry& entry : interface.addressEntries()) {
            if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol && !entry.ip().isLoopback())
                return entry.ip().toString().toStdString();
        }
    }
    return "127.0.0.1";
}

}  // namespace brindlecor::server
