#include "builder/image/wall_clock.h"

#include <cstdio>
#include <ctime>

namespace brindlecor::builder {

DateTime SystemWallClock::now() const {
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    if (const std::tm* p = std::localtime(&t)) local = *p;
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
}

std::string generalDate(const DateTime& t) {
    const int hour12 = t.hour % 12 == 0 ? 12 : t.hour % 12;
    char text[64];
    std::snprintf(text, sizeof text, "%d/%d/%d %d:%02d:%02d %s", t.month, t.day, t.year, hour12, t.minute,
                  t.second, t.hour < 12 ? "AM" : "PM");
    return text;
}

}  // namespace brindlecor::builder
