// The wall clock the make stamps its log with, behind an interface so that tests can fix the time, and the
// general date text the log shows it in.
#pragma once

#include <string>

namespace brindlecor::builder {

struct DateTime {
    int year = 2000;
    int month = 1;  // 1..12
    int day = 1;    // 1..31
    int hour = 0;   // 0..23
    int minute = 0;
    int second = 0;
};

class WallClock {
  public:
    virtual ~WallClock() = default;
    virtual DateTime now() const = 0;
};

// Local time of the machine.
class SystemWallClock : public WallClock {
  public:
    DateTime now() const override;
};

// US general date form with a 12-hour time: "12/10/2026 3:04:05 PM".
std::string generalDate(const DateTime& t);

}  // namespace brindlecor::builder
