#include "server/emulation/serial_settings.h"

#include <charconv>
#include <vector>

#include "common/text.h"

namespace brindlecor::server {

namespace {

bool readNumber(std::string_view text, int& out) {
    if (text.empty()) return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size();
}

}  // namespace

std::optional<SerialSettings> parseSerialSettings(std::string_view text, std::string& error) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        parts.push_back(
            trimSpaces(text.substr(start, comma == std::string_view::npos ? comma : comma - start)));
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    const std::string quoted = "\"" + std::string(text) + "\"";
    if (parts.size() != 4) {
        error = "Port settings " + quoted + " are not speed,parity,data bits,stop bits";
        return std::nullopt;
    }
    SerialSettings s;
    if (!readNumber(parts[0], s.speed) || s.speed <= 0) {
        error = "Port settings " + quoted + ": the speed is not a positive number";
        return std::nullopt;
    }
    const std::string parity = lowerCase(parts[1]);
    if (parity.size() != 1 || std::string_view("neoms").find(parity[0]) == std::string_view::npos) {
        error = "Port settings " + quoted + ": the parity is not one of n, e, o, m, s";
        return std::nullopt;
    }
    s.parity = parity[0];
    if (!readNumber(parts[2], s.dataBits) || s.dataBits < 5 || s.dataBits > 8) {
        error = "Port settings " + quoted + ": the data bits are not 5 to 8";
        return std::nullopt;
    }
    if (parts[3] == "1.5") {
        s.stopBits = 3;
    } else if (!readNumber(parts[3], s.stopBits) || (s.stopBits != 1 && s.stopBits != 2)) {
        error = "Port settings " + quoted + ": the stop bits are not 1, 1.5 or 2";
        return std::nullopt;
    }
    return s;
}

}  // namespace brindlecor::server
