// The server's main window object without its window: the image path, the recent images, the selected COM
// port and every menu command, over the same device server that `brindlecorpc serve` runs. The Qt window
// only draws what this asks through ServerView and hands menu clicks to it; visits reach the Last Visitor
// and Access Count boxes as they happen.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/settings_store.h"
#include "server/shell/device_server.h"
#include "server/shell/server_view.h"

namespace brindlecor::server {

inline constexpr std::string_view kOpenFilter = "Brindlecor Binary Files (*.KVB)|*.KVB|All Files (*.*)|*.*";
inline constexpr std::string_view kErrorTitle = "BrindlecorPC Error";
inline constexpr std::string_view kCannotListenText = "Winsock Error - Cannot Listen";
inline constexpr std::string_view kWarningTitle = "BrindlecorPC";

class ServerSession {
  public:
    struct Platform {
        std::string homeFolder;  // where the Open dialog starts without an image path
    };

    ServerSession(ServerView& view, SettingsStore& settings, ServeOptions options, Platform platform);
    ~ServerSession();

    // The start-up after the window's size and position: menu states, recent images, the saved COM port.
    // No image is opened.
    void startup();

    // Runs the command of a menu item (the window calls this for every click).
    void trigger(MenuRef item);

    void mnuOpen();
    // Open image: loads the file, puts it at the head of the recent images, listens and binds the UDP
    // services, and enables Browser and Reload. A file that cannot be loaded is reported and changes nothing.
    void openImage(const std::string& path);
    void mnuPrevFiles(int index);
    void mnuExit();
    void mnuBrowser();
    // The Comm menu is opening: each COM entry is enabled when its device path opens now.
    void mnuCOMMs();
    void mnuCOMM(int number);
    void mnuReload();

    // A file given from outside the menus (the command line, a drop on the window): opened as Open does.
    void openFromOutside(const std::string& path);
    // Closes every socket; the window calls it when it closes.
    void shutdown();

    const std::string& imagePath() const { return imagePath_; }
    const std::vector<std::string>& recentImages() const { return recentImages_; }
    // The address box's text for where the listener listens, e.g. "http://192.168.1.20:8080".
    std::string addressText(const ListenResult& listening) const;
    // The address the Browser command opens, e.g. "http://localhost:8080/".
    std::string browserUrl() const;
    DeviceServer& server() { return server_; }

    // This computer's own IPv4 address: that of the first interface that is up and not the loopback one,
    // else 127.0.0.1.
    static std::string localAddress();

  private:
    void refreshRecentMenu();
    void refreshCommMenu();
    void showVisit();
    void warn(std::string_view text);

    ServerView& view_;
    SettingsStore& settings_;
    Platform platform_;
    DeviceServer server_;
    std::string imagePath_;
    std::vector<std::string> recentImages_;
};

}  // namespace brindlecor::server
