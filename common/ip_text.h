// Dotted IP text to four bytes and back. The first octet is the least significant byte, so writing the
// value little-endian puts the octets in dotted (network) order.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace brindlecor {

// Reads four octets left to right: "." ends an octet, digits are collected, any other character is
// skipped. Fewer than four parts give 0. Returns nullopt when an octet is above 255.
std::optional<uint32_t> IP_to_Long(std::string_view IPaddress);

// Whether the text has all four parts that IP_to_Long reads (with fewer it gives 0 rather than an address).
bool hasFourOctets(std::string_view IPaddress);

// The four bytes, least significant first, in decimal joined by ".".
std::string Long_to_IP(uint32_t l);

// The address part of an IP list entry: the text before the first space.
std::string addressPart(std::string_view entry);

}  // namespace brindlecor
