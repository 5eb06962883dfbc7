// Where the window of either program opens and when it remembers where it was closed: a saved position
// that would put the window off the screen starts it at the edge instead, and a window at an edge (or
// minimized) keeps the position saved before.
#pragma once

#include <string_view>

namespace brindlecor {

// The coordinate read from a saved text (a number; anything else reads as 0), moved to 0 when the window's
// extent from there would pass the screen's extent or when it is negative.
int startupCoordinate(std::string_view saved, int windowExtent, int screenExtent);

// True when a closing window at top, left saves its position.
inline bool savesPosition(int top, int left) {
    return top > 0 && left > 0;
}

}  // namespace brindlecor
