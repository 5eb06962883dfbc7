#include "common/text.h"

namespace brindlecor {

char lowerChar(char c) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 'A' && u <= 'Z') return static_cast<char>(u + 32);
    if (u >= 0xC0 && u <= 0xDE && u != 0xD7) return static_cast<char>(u + 32);
    switch (u) {
        case 0x8A: return static_cast<char>(0x9A);
        case 0x8C: return static_cast<char>(0x9C);
        case 0x8E: return static_cast<char>(0x9E);
        case 0x9F: return static_cast<char>(0xFF);
        default: return c;
    }
}

std::string lowerCase(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = lowerChar(c);
    return out;
}

std::string trimSpaces(std::string_view text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    const size_t last = text.find_last_not_of(' ');
    return std::string(text.substr(first, last - first + 1));
}

std::string decimal(long long value) { return std::to_string(value); }

}  // namespace brindlecor
