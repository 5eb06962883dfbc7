#include "common/window_position.h"

#include "common/number_text.h"

namespace brindlecor {

int startupCoordinate(std::string_view saved, int windowExtent, int screenExtent) {
    const int value = readRoundedInteger(saved).value_or(0);
    if (value < 0 || static_cast<long long>(value) + windowExtent > screenExtent) return 0;
    return value;
}

}  // namespace brindlecor
