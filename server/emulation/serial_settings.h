// The port settings text "speed,parity,data bits,stop bits" (for example "9600,n,8,1") read into its parts.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace brindlecor::server {

struct SerialSettings {
    int speed = 9600;
    char parity = 'n';  // n, e, o, m or s
    int dataBits = 8;   // 5-8
    int stopBits = 1;   // 1 or 2; "1.5" reads as 3
};

// The parts of a settings text, or nullopt with the reason in error when a part is missing or not valid.
std::optional<SerialSettings> parseSerialSettings(std::string_view text, std::string& error);

}  // namespace brindlecor::server
