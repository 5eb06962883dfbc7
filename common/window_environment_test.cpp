#include "common/window_environment.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace brindlecor {
namespace {

std::map<std::string, std::string> environment;

const char* fakeEnv(const char* name) {
    const auto it = environment.find(name);
    return it == environment.end() ? nullptr : it->second.c_str();
}

TEST(WindowEnvironment, DisplayAvailableFollowsThePlatformChoice) {
    struct Case {
        const char* display;
        const char* wayland;
        const char* platform;
        bool available;
    } cases[] = {
        {nullptr, nullptr, nullptr, false},
        {":0", nullptr, nullptr, true},
        {nullptr, "wayland-0", nullptr, true},
        {"", "", nullptr, false},
        {nullptr, nullptr, "offscreen", true},
        {nullptr, nullptr, "xcb", false},
        {":1", nullptr, "xcb", true},
        {":1", nullptr, "wayland", false},
        {nullptr, nullptr, "wayland;xcb", false},
        {":1", nullptr, "wayland;xcb", true},
        {nullptr, nullptr, "vnc:size=800x600", true},
        {nullptr, nullptr, "", false},
    };
    for (const auto& c : cases) {
        environment.clear();
        if (c.display) environment["DISPLAY"] = c.display;
        if (c.wayland) environment["WAYLAND_DISPLAY"] = c.wayland;
        if (c.platform) environment["QT_QPA_PLATFORM"] = c.platform;
        EXPECT_EQ(displayAvailable(fakeEnv), c.available)
            << (c.display ? c.display : "-") << " " << (c.wayland ? c.wayland : "-") << " "
            << (c.platform ? c.platform : "-");
    }
    EXPECT_EQ(noDisplayMessage("tamarquill make"),
              "cannot open a window: no display (set DISPLAY or run a command such as 'tamarquill make')");
}

}  // namespace
}  // namespace brindlecor
