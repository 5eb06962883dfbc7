// Reading the number at the start of a text as the device and the builder do: a real number with an optional
// sign, fraction and exponent, or an integer after "&H" (hexadecimal) or "&O" (octal), rounded where an
// integer is needed.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace brindlecor {

// The number at the start of text: leading blanks skipped, reading stops at the first character that does
// not fit, a text without a number is 0. nullopt when the number cannot be represented (an exponent out of
// range, more than 32 bits of hexadecimal or octal digits). "&H" and "&O" numbers are 32-bit two's
// complement, so "&HFFFFFFFF" is -1.
std::optional<double> readNumber(std::string_view text);

// The number rounded to the nearest integer, halves to the even neighbour; nullopt when the result lies
// outside the 32-bit signed range or the text holds no representable number.
std::optional<int32_t> readRoundedInteger(std::string_view text);

// The value of a text read as hexadecimal digits (as if "&H" stood before it): 0 for a text that does not
// start with a hexadecimal digit, nullopt beyond 32 bits.
std::optional<int32_t> readHexInteger(std::string_view text);

}  // namespace brindlecor
