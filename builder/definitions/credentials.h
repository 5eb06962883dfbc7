// Credentials ("Username:Password") are kept as their Base64 text, standard alphabet with "=" padding.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace brindlecor::builder {

// The Base64 digit for the low 6 bits of value.
char base64Digit(int32_t value);

// The Base64 text of the bytes; "" for "".
std::string base64Encode(std::string_view text);

}  // namespace brindlecor::builder
