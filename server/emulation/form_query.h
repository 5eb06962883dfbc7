// Form submissions: the name=value pairs of a request's query assign values to objects, converted by the
// object's type and written through the device's RAM write, before the form-handler page is rendered.
#pragma once

#include <string_view>

#include "server/emulation/device.h"

namespace brindlecor::server {

// Applies the query of a lower-cased request text. Unknown names, site files, output-only objects and
// values that do not convert are skipped; a pair whose value the text does not end (by " " or "&") is not
// applied.
void applyQuery(Device& device, std::string_view request);

// "%" and the next two characters stand for the character with that hexadecimal code (two characters are
// consumed, fewer at the end of the text). Returns the code; `at` points at the "%" and is moved past them.
uint8_t decodePercent(std::string_view text, size_t& at);

// The request line ends at a space; a bare CR or LF ends it just the same.
inline bool endsRequestWord(char c) {
    return c == ' ' || c == '\r' || c == '\n';
}

}  // namespace brindlecor::server
