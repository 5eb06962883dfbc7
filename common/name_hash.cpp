#include "common/name_hash.h"

namespace brindlecor {

uint16_t crcStep(uint16_t check, uint8_t c) {
    check ^= c;
    for (int i = 0; i < 8; ++i) check = (check & 1) ? static_cast<uint16_t>((check >> 1) ^ 0xA001) : check >> 1;
    return check;
}

uint32_t hashStep(uint32_t running, uint8_t c) {
    if (c == '.') c = '_';
    const uint16_t check = crcStep(static_cast<uint16_t>(running & 0xFFFF), c);
    const uint8_t sum = static_cast<uint8_t>((running >> 16) + c);
    const uint8_t count = static_cast<uint8_t>((running >> 24) + 1);
    return check | (static_cast<uint32_t>(sum) << 16) | (static_cast<uint32_t>(count) << 24);
}

int32_t calcHASH(std::string_view text) {
    uint32_t h = kHashStart;
    for (char ch : text) h = hashStep(h, static_cast<uint8_t>(ch));
    return static_cast<int32_t>(h);
}

}  // namespace brindlecor
