#include "common/ip_text.h"

namespace brindlecor {

namespace {

// Reads as IP_to_Long does and counts the octets it found before the text ran out.
std::optional<uint32_t> readOctets(std::string_view IPaddress, int& octets) {
    size_t pos = 0;
    uint32_t result = 0;
    octets = 0;
    for (int k = 0; k < 4; ++k) {
        if (pos >= IPaddress.size()) return 0;
        ++octets;
        uint32_t octet = 0;
        while (pos < IPaddress.size()) {
            const char c = IPaddress[pos++];
            if (c == '.') break;
            if (c >= '0' && c <= '9') {
                octet = octet * 10 + static_cast<uint32_t>(c - '0');
                if (octet > 255) octet = 256;  // stays out of range without overflowing
            }
        }
        if (octet > 255) return std::nullopt;
        result |= octet << (8 * k);
    }
    return result;
}

}  // namespace

std::optional<uint32_t> IP_to_Long(std::string_view IPaddress) {
    int octets = 0;
    return readOctets(IPaddress, octets);
}

bool hasFourOctets(std::string_view IPaddress) {
    int octets = 0;
    readOctets(IPaddress, octets);
    return octets == 4;
}

std::string Long_to_IP(uint32_t l) {
    std::string out;
    for (int k = 0; k < 4; ++k) {
        if (k) out += '.';
        out += std::to_string((l >> (8 * k)) & 0xFF);
    }
    return out;
}

std::string addressPart(std::string_view entry) {
    const size_t space = entry.find(' ');
    return std::string(space == std::string_view::npos ? entry : entry.substr(0, space));
}

}  // namespace brindlecor
