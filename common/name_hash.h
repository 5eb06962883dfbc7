// The 4-byte name hash under which objects and site files are stored and looked up: CRC-16 (reflected
// 0xA001, start 0xFFFF) low and high byte, a byte sum starting at 0xFF, and the length minus one.
// "." is hashed as "_". Builder and emulator must agree on it bit for bit.
#pragma once

#include <cstdint>
#include <string_view>

namespace brindlecor {

// Start value of the running form: all four bytes 0xFF.
constexpr uint32_t kHashStart = 0xFFFFFFFF;

// One byte of the CRC-16; returns the updated check value.
uint16_t crcStep(uint16_t check, uint8_t c);

// One character of the running hash; hashing a text from kHashStart gives calcHASH of the text.
uint32_t hashStep(uint32_t running, uint8_t c);

// Hash of a text of 1 to 256 characters, as the little-endian value of the 4 stored bytes.
int32_t calcHASH(std::string_view text);

}  // namespace brindlecor
