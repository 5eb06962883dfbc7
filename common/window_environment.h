// Whether a window program can reach a display before it hands itself to the window system, which would
// otherwise abort the process when there is none.
#pragma once

#include <string>
#include <string_view>

namespace brindlecor {

// Reads one environment variable; null when it is not set.
using EnvironmentReader = const char* (*)(const char*);

// True when the platform the window system will choose has something to draw on: QT_QPA_PLATFORM names a
// platform that needs no display server (offscreen, vnc, ...), or the display server it names (or, without
// it, either one) is given by DISPLAY or WAYLAND_DISPLAY.
bool displayAvailable(EnvironmentReader env);

// The line printed on stderr instead: "cannot open a window: no display (set DISPLAY or run a command such as
// 'EXAMPLE')".
std::string noDisplayMessage(std::string_view exampleCommand);

}  // namespace brindlecor
