#include "builder/definitions/credentials.h"

#include "common/password.h"

namespace brindlecor::builder {

char base64Digit(int32_t value) {
    const int32_t v = value & 63;
    if (v < 26) return static_cast<char>('A' + v);
    if (v < 52) return static_cast<char>('a' + v - 26);
    if (v < 62) return static_cast<char>('0' + v - 52);
    return v == 62 ? '+' : '/';
}

std::string base64Encode(std::string_view text) {
    std::string out;
    out.reserve((text.size() + 2) / 3 * 4);
    for (size_t i = 0; i < text.size(); i += 3) {
        // Bytes, not signed characters: 8-bit credentials encode like any others.
        auto byteAt = [&](size_t k) -> int32_t {
            return k < text.size() ? static_cast<uint8_t>(text[k]) : 0;
        };
        const int32_t v = byteAt(i) * 65536 + byteAt(i + 1) * 256 + byteAt(i + 2);
        out += base64Digit(v / 262144);
        out += base64Digit(v / 4096);
        out += base64Digit(v / 64);
        out += base64Digit(v);
    }
    const size_t padding = (3 - text.size() % 3) % 3;
    for (size_t k = 0; k < padding; ++k) out[out.size() - 1 - k] = '=';
    return out;
}

std::string credentialField(std::string_view credential) {
    std::string field = fixedField(base64Encode(credential), kCredentialFieldSize);
    return isAllSpaces(field) ? noPasswordField(kCredentialFieldSize) : field;
}

}  // namespace brindlecor::builder
