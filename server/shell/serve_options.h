// The options of `brindlecorpc serve`: the image, the ports and addresses of the emulated device's services,
// the serial port and the page headers; read from the command line over defaults from the settings.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/settings_keys.h"
#include "common/settings_store.h"
#include "server/emulation/udp_services.h"

namespace brindlecor::server {

// Whether pages, form handlers and object values get a status line and a Content-Type in front.
enum class PageHeaderMode { Auto, On, Off };

struct ServeOptions {
    std::string imagePath;
    uint16_t httpPort = 80;
    bool httpPortGiven = false;  // asked for on the command line or in the settings, not the default
    std::string bindAddress;     // empty: every IPv4 interface
    uint16_t downloadPort = 26481;
    uint16_t namePort = 26480;
    uint16_t ramPort = 26482;
    uint16_t datagramPort = 4096;
    std::string serialPath;  // empty: the port the settings name
    PageHeaderMode pageHeaders = PageHeaderMode::Auto;
    int idleTimeoutMs = 10000;  // a connection without a request line is closed after this
    bool requirePasswords = false;  // files of password-marked folders only to the image's credentials
    int eraseDelayMs = kEraseWaitMs;  // how long an erase holds its reply back; 0 answers at once
    bool reloadOnChange = false;  // reload the image whenever its file is replaced or rewritten

    // Auto means on, except on the device's own port 80 where browsers are known to cope with bare pages.
    bool pageHeadersOn() const { return pageHeadersOnPort(httpPort); }
    bool pageHeadersOnPort(uint16_t port) const {
        return pageHeaders == PageHeaderMode::On || (pageHeaders == PageHeaderMode::Auto && port != 80);
    }
};

// Settings that give the defaults.
constexpr std::string_view kHttpPortKey = brindlecor::settings::kHttpPort.name;
constexpr std::string_view kPageHeadersKey = brindlecor::settings::kPageHeaders.name;

// Fills options from the arguments after "serve", over the defaults of the settings. Returns the usage error.
// The window takes the same options with the image left out (imageRequired false).
std::optional<std::string> parseServeOptions(const std::vector<std::string>& args,
                                             const SettingsStore& settings, ServeOptions& options,
                                             bool imageRequired = true);

}  // namespace brindlecor::server
