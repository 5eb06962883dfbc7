#include "builder/download/datagram_port.h"

#include <array>
#include <optional>

namespace brindlecor::builder {

namespace {

// The four numbers of a strictly dotted address: four groups of 1-3 digits, each at most 255.
std::optional<std::array<int, 4>> dottedNumbers(std::string_view text) {
    std::array<int, 4> numbers{};
    size_t at = 0;
    for (int k = 0; k < 4; ++k) {
        if (k > 0) {
            if (at >= text.size() || text[at] != '.') return std::nullopt;
            ++at;
        }
        int value = 0, digits = 0;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < 3) {
            value = value * 10 + (text[at++] - '0');
            ++digits;
        }
        if (digits == 0 || value > 255) return std::nullopt;
        numbers[k] = value;
    }
    if (at != text.size()) return std::nullopt;
    return numbers;
}

}  // namespace

bool sameIPv4Address(std::string_view a, std::string_view b) {
    if (a == b) return true;
    const auto x = dottedNumbers(a), y = dottedNumbers(b);
    return x && y && *x == *y;
}

}  // namespace brindlecor::builder
