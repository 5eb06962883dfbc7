#include "server/shell/serve_options.h"

#include <charconv>
#include <string_view>

#include "common/settings_keys.h"
#include "common/text.h"

namespace brindlecor::server {

namespace {

std::optional<uint16_t> portNumber(std::string_view text) {
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty() || value > 65535)
        return std::nullopt;
    return static_cast<uint16_t>(value);
}

std::optional<PageHeaderMode> headerMode(std::string_view text) {
    if (text == "auto") return PageHeaderMode::Auto;
    if (text == "on") return PageHeaderMode::On;
    if (text == "off") return PageHeaderMode::Off;
    return std::nullopt;
}

}  // namespace

std::optional<std::string> parseServeOptions(const std::vector<std::string>& args,
                                             const SettingsStore& settings, ServeOptions& options,
                                             bool imageRequired) {
    const std::string portSetting = brindlecor::settings::value(settings, brindlecor::settings::kHttpPort);
    // A key can hold any byte but not two different defaults at once.
    options.httpPortGiven =
        settings.getSetting(kHttpPortKey, "\x01") == settings.getSetting(kHttpPortKey, "\x02");
    const auto settingPort = portNumber(portSetting);
    if (!settingPort)
        return "the setting " + std::string(kHttpPortKey) + " is not a port number: " + portSetting;
    options.httpPort = *settingPort;
    const std::string headerSetting =
        brindlecor::settings::value(settings, brindlecor::settings::kPageHeaders);
    const auto settingMode = headerMode(headerSetting);
    if (!settingMode)
        return "the setting " + std::string(kPageHeadersKey) + " is not auto, on or off: " + headerSetting;
    options.pageHeaders = *settingMode;
    const std::string passwordSetting =
        lowerCase(brindlecor::settings::value(settings, brindlecor::settings::kRequirePasswords));
    if (passwordSetting == "on" || passwordSetting == "1" || passwordSetting == "true") {
        options.requirePasswords = true;
    } else if (passwordSetting != "off" && passwordSetting != "0" && passwordSetting != "false") {
        return "the setting " + std::string(brindlecor::settings::kRequirePasswords.name) +
               " is not on or off: " + passwordSetting;
    }

    bool haveImage = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
            if (haveImage) return "more than one image given: " + arg;
            options.imagePath = arg;
            haveImage = true;
            continue;
        }
        if (arg == "--require-passwords") {
            options.requirePasswords = true;
            continue;
        }
        if (arg == "--reload-on-change") {
            options.reloadOnChange = true;
            continue;
        }
        std::string name = arg, value;
        if (const size_t eq = arg.find('='); eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
        } else {
            if (i + 1 >= args.size()) return "option " + arg + " needs a value";
            value = args[++i];
        }
        uint16_t* port = name == "--http-port"       ? &options.httpPort
                         : name == "--download-port" ? &options.downloadPort
                         : name == "--name-port"     ? &options.namePort
                         : name == "--ram-port"      ? &options.ramPort
                         : name == "--datagram-port" ? &options.datagramPort
                                                     : nullptr;
        if (port) {
            const auto number = portNumber(value);
            if (!number) return "option " + name + " needs a port number 0-65535, not '" + value + "'";
            *port = *number;
            if (port == &options.httpPort) options.httpPortGiven = true;
        } else if (name == "--bind") {
            if (value.empty()) return "option --bind needs an address";
            options.bindAddress = value;
        } else if (name == "--serial") {
            if (value.empty()) return "option --serial needs a device path";
            options.serialPath = value;
        } else if (name == "--page-headers") {
            const auto mode = headerMode(value);
            if (!mode) return "option --page-headers takes auto, on or off, not '" + value + "'";
            options.pageHeaders = *mode;
        } else if (name == "--idle-timeout") {
            unsigned seconds = 0;
            const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), seconds);
            if (ec != std::errc() || end != value.data() + value.size() || value.empty() || seconds < 1 ||
                seconds > 86400)
                return "option --idle-timeout needs a number of seconds 1-86400, not '" + value + "'";
            options.idleTimeoutMs = static_cast<int>(seconds) * 1000;
        } else if (name == "--erase-delay") {
            unsigned ms = 0;
            const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), ms);
            if (ec != std::errc() || end != value.data() + value.size() || value.empty() || ms > 60000)
                return "option --erase-delay needs a number of milliseconds 0-60000, not '" + value + "'";
            options.eraseDelayMs = static_cast<int>(ms);
        } else {
            return "unknown option " + name;
        }
    }
    if (!haveImage && imageRequired) return "no image given";
    return std::nullopt;
}

}  // namespace brindlecor::server
