// Rendering a stored site file into the bytes of a response: plain files behind the fixed header, pages with
// their compiled object references executed against device RAM through the accumulator and operand register.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "server/emulation/device.h"

namespace brindlecor::server {

// The header in front of every file that is neither a page nor a form handler.
constexpr std::string_view kPlainFileHeader =
    "HTTP/1.0 200 OK\r\nExpires: Tue, 09 Sep 2025 18:18:18 GMT\r\n\r\n";

// Appends the response for the file at flash address (length bytes, file flags) to out. Returns false on a
// run-time error (overflow, division by zero, a read past 0xFFFF): the request then gets no response, though
// the registers and RAM keep what the codes before the error did to them.
bool renderFile(Device& device, uint16_t address, uint32_t length, uint8_t flags, std::string& out);

}  // namespace brindlecor::server
