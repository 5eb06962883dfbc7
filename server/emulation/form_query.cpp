#include "server/emulation/form_query.h"

#include <algorithm>
#include <optional>
#include <string>

#include "common/byte_order.h"
#include "common/image_layout.h"
#include "common/name_hash.h"
#include "common/number_text.h"

namespace brindlecor::server {

namespace img = brindlecor::image;

uint8_t decodePercent(std::string_view text, size_t& at) {
    const size_t from = at + 1;
    const size_t count = std::min<size_t>(2, text.size() - std::min(text.size(), from));
    at = from + count;
    const auto value = readHexInteger(text.substr(std::min(text.size(), from), count));
    return static_cast<uint8_t>(value.value_or(0));
}

namespace {

constexpr uint32_t kAddressEnd = 0x10000;

void writeBytes(Device& device, uint16_t address, const uint8_t* bytes, uint32_t count) {
    // An object entry that runs past the top of RAM comes from a damaged image: write nothing rather
    // than wrap around to address 0.
    if (address + count > kAddressEnd) return;
    for (uint32_t i = 0; i < count; ++i) device.ramWrite(static_cast<uint16_t>(address + i), bytes[i]);
}

void assign(Device& device, const LookupRecord& object, const std::string& value) {
    uint8_t bytes[4];
    switch (object.flags & img::kObjectTypeMask) {
        case img::kTypeBit: {
            const auto v = readRoundedInteger(value);
            if (!v || object.address > 0xFF) return;
            device.bitWrite(static_cast<uint8_t>(object.address), *v & 1);
            return;
        }
        case img::kTypeByte: {
            const auto v = readRoundedInteger(value);
            if (!v) return;
            bytes[0] = static_cast<uint8_t>(*v > 255 ? 255 : *v < 0 ? 0 : *v);
            writeBytes(device, object.address, bytes, 1);
            return;
        }
        case img::kTypeInteger: {
            const auto v = readRoundedInteger(value);
            if (!v) return;
            const int32_t limited = *v > 32767 ? 32767 : *v < -32768 ? -32768 : *v;
            writeLe16(bytes, static_cast<uint16_t>(limited));
            writeBytes(device, object.address, bytes, 2);
            return;
        }
        case img::kTypeHex: {
            const auto v = readHexInteger(value);
            if (!v) return;
            bytes[0] = static_cast<uint8_t>(*v);
            writeBytes(device, object.address, bytes, 1);
            return;
        }
        case img::kTypeLong: {
            const auto v = readRoundedInteger(value);
            if (!v) return;
            writeLe32(bytes, static_cast<uint32_t>(*v));
            writeBytes(device, object.address, bytes, 4);
            return;
        }
        case img::kTypeString: {
            if (object.address == kSerialOutputRegister) {
                // The serial output register takes the characters one after another, without padding.
                const size_t count = std::min<size_t>(object.size, value.size());
                for (size_t k = 0; k < count; ++k)
                    device.ramWrite(kSerialOutputRegister, static_cast<uint8_t>(value[k]));
                return;
            }
            if (object.address + object.size > kAddressEnd) return;
            for (uint32_t k = 0; k < object.size; ++k) {
                const uint8_t ch = k < value.size() ? static_cast<uint8_t>(value[k]) : 0;
                device.ramWrite(static_cast<uint16_t>(object.address + k), ch);
            }
            return;
        }
        default:
            return;  // types 5 and 6 take nothing
    }
}

}  // namespace

void applyQuery(Device& device, std::string_view request) {
    size_t at = 4;
    while (at < request.size() && !endsRequestWord(request[at]) && request[at] != '?') ++at;
    if (at >= request.size() || request[at] != '?') return;
    ++at;
    std::string value;
    for (;;) {
        // Names are hashed as they stand: no "%" decoding, no "+" conversion, not stopped at a space.
        uint32_t hash = kHashStart;
        while (at < request.size() && request[at] != '=')
            hash = hashStep(hash, static_cast<uint8_t>(request[at++]));
        if (at >= request.size()) return;
        ++at;
        value.clear();
        while (at < request.size() && !endsRequestWord(request[at]) && request[at] != '&') {
            const char c = request[at];
            if (c == '%') {
                value += static_cast<char>(decodePercent(request, at));
            } else {
                value += c == '+' ? ' ' : c;
                ++at;
            }
        }
        if (at >= request.size()) return;
        const char ender = request[at++];
        const auto found = device.lookup(hash);
        // Only object entries take values; a site file's entry or an output-only object is left alone.
        if (found && (found->flags & img::kObjectEntry) && !(found->flags & img::kObjectOutputOnly))
            assign(device, *found, value);
        if (ender != '&') return;
    }
}

}  // namespace brindlecor::server
