#include "common/window_environment.h"

namespace brindlecor {

namespace {

bool isSet(EnvironmentReader env, const char* name) {
    const char* value = env(name);
    return value && *value;
}

}  // namespace

bool displayAvailable(EnvironmentReader env) {
    const bool x11 = isSet(env, "DISPLAY");
    const bool wayland = isSet(env, "WAYLAND_DISPLAY");
    if (!isSet(env, "QT_QPA_PLATFORM")) return x11 || wayland;
    // "xcb:option=..." or a list such as "wayland;xcb": every named platform is tried in turn.
    std::string_view platforms = env("QT_QPA_PLATFORM");
    while (!platforms.empty()) {
        const size_t end = platforms.find(';');
        std::string_view platform = platforms.substr(0, end);
        platform = platform.substr(0, platform.find(':'));
        if (platform == "xcb") {
            if (x11) return true;
        } else if (platform.substr(0, 7) == "wayland") {
            if (wayland) return true;
        } else if (!platform.empty()) {
            return true;  // offscreen, minimal, vnc, eglfs, linuxfb: no display server needed
        }
        if (end == std::string_view::npos) break;
        platforms.remove_prefix(end + 1);
    }
    return false;
}

std::string noDisplayMessage(std::string_view exampleCommand) {
    return "cannot open a window: no display (set DISPLAY or run a command such as '" +
           std::string(exampleCommand) + "')";
}

}  // namespace brindlecor
