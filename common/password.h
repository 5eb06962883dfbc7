// Fixed-width password and credential fields of the configuration block, and the scrambling of the
// 16-character passwords (the same XOR scrambles and unscrambles).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace brindlecor {

constexpr std::string_view kScrambleKey = "9081726354453627";
constexpr char kNoPasswordChar = '\xFF';

// The text cut after n characters or padded on the right with spaces to n.
std::string fixedField(std::string_view text, size_t n);

// n characters of code 255: the field that means "no password".
std::string noPasswordField(size_t n);

// True when every character of the field has code 255.
bool isNoPassword(std::string_view field);

// True when every character of the field is a space.
bool isAllSpaces(std::string_view field);

// The 16 stored bytes of a password: a "none" field stays 16 x 0xFF, any other text is made 16 characters
// long and XORed with the scrambling key.
std::array<uint8_t, 16> scramblePassword(std::string_view password);

}  // namespace brindlecor
