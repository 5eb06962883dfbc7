// Credentials ("Username:Password") are kept as their Base64 text, standard alphabet with "=" padding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace brindlecor::builder {

// The Base64 digit for the low 6 bits of value.
char base64Digit(int32_t value);

// The Base64 text of the bytes; "" for "".
std::string base64Encode(std::string_view text);

constexpr size_t kCredentialFieldSize = 32;

// The 32-character field of a credential as the image holds it: its Base64 text cut or space-padded to 32,
// and 32 characters of code 255 (no password) for an empty credential.
std::string credentialField(std::string_view credential);

}  // namespace brindlecor::builder
