#include "common/number_text.h"

#include <charconv>
#include <cmath>
#include <string>

namespace brindlecor {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

int digitValue(char c, int radix) {
    int v = -1;
    if (c >= '0' && c <= '9')
        v = c - '0';
    else if (c >= 'a' && c <= 'f')
        v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        v = c - 'A' + 10;
    return v < radix ? v : -1;
}

// Digits in the given radix from the start of text; nullopt once the value needs more than 32 bits.
std::optional<int32_t> readRadix(std::string_view text, int radix) {
    uint64_t value = 0;
    for (char c : text) {
        const int d = digitValue(c, radix);
        if (d < 0) break;
        value = value * static_cast<uint64_t>(radix) + static_cast<uint64_t>(d);
        if (value > 0xFFFFFFFFull) return std::nullopt;
    }
    return static_cast<int32_t>(static_cast<uint32_t>(value));
}

}  // namespace

std::optional<int32_t> readHexInteger(std::string_view text) {
    return readRadix(text, 16);
}

std::optional<double> readNumber(std::string_view text) {
    size_t p = 0;
    while (p < text.size() && isBlank(text[p])) ++p;
    if (p + 1 < text.size() && text[p] == '&') {
        const char kind = text[p + 1];
        if (kind == 'h' || kind == 'H') return readRadix(text.substr(p + 2), 16);
        if (kind == 'o' || kind == 'O') return readRadix(text.substr(p + 2), 8);
    }
    // Collect the longest prefix of the form [sign] digits [. digits] [e [sign] digits]; from_chars reads
    // it without locale surprises (and without accepting "inf", "nan" or "0x").
    std::string number;
    if (p < text.size() && (text[p] == '+' || text[p] == '-')) {
        if (text[p] == '-') number += '-';
        ++p;
    }
    size_t mantissaDigits = 0;
    while (p < text.size() && isDigit(text[p])) number += text[p++], ++mantissaDigits;
    if (p < text.size() && text[p] == '.') {
        number += text[p++];
        while (p < text.size() && isDigit(text[p])) number += text[p++], ++mantissaDigits;
    }
    if (mantissaDigits == 0) return 0.0;
    if (p < text.size() && (text[p] == 'e' || text[p] == 'E')) {
        size_t q = p + 1;
        std::string exponent = "e";
        if (q < text.size() && (text[q] == '+' || text[q] == '-')) exponent += text[q++];
        const size_t digitsFrom = q;
        while (q < text.size() && isDigit(text[q])) exponent += text[q++];
        if (q > digitsFrom) number += exponent;
    }
    double value = 0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    (void)end;
    if (ec == std::errc::result_out_of_range) {
        // A tiny number reads as 0; only a huge one is beyond every range.
        if (number.find("e-") != std::string::npos) return 0.0;
        return std::nullopt;
    }
    if (ec != std::errc()) return 0.0;
    return value;
}

std::optional<int32_t> readRoundedInteger(std::string_view text) {
    const auto number = readNumber(text);
    if (!number) return std::nullopt;
    // The default floating-point environment rounds halves to even.
    const double rounded = std::nearbyint(*number);
    if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0)) return std::nullopt;
    return static_cast<int32_t>(rounded);
}

}  // namespace brindlecor
