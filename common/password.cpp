#include "common/password.h"

namespace brindlecor {

std::string fixedField(std::string_view text, size_t n) {
    std::string out(text.substr(0, n));
    out.resize(n, ' ');
    return out;
}

std::string noPasswordField(size_t n) { return std::string(n, kNoPasswordChar); }

bool isNoPassword(std::string_view field) {
    for (char c : field)
        if (c != kNoPasswordChar) return false;
    return true;
}

bool isAllSpaces(std::string_view field) {
    for (char c : field)
        if (c != ' ') return false;
    return true;
}

std::array<uint8_t, 16> scramblePassword(std::string_view password) {
    const std::string field = fixedField(password, 16);
    std::array<uint8_t, 16> out{};
    const bool none = isNoPassword(field);
    for (size_t i = 0; i < 16; ++i) {
        const auto c = static_cast<uint8_t>(field[i]);
        out[i] = none ? c : static_cast<uint8_t>(c ^ static_cast<uint8_t>(kScrambleKey[i]));
    }
    return out;
}

}  // namespace brindlecor
