#include "common/page_listing.h"

#include <cstdio>

#include "common/byte_order.h"
#include "common/page_codes.h"

namespace brindlecor {

namespace {

namespace c = code;

struct Step {
    uint8_t code;
    std::span<const uint8_t> operands;
};

std::string hex(uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

// The object part of a reference: its name, or its address with what the load reads there.
std::string objectText(const Step& load, const ObjectNamer& nameOf) {
    const uint8_t size = load.code == c::kOutString ? load.operands[0] : 0;
    const uint16_t address = readLe16(load.operands.data() + (load.code == c::kOutString ? 1 : 0));
    if (nameOf) {
        std::string name = nameOf(load.code, address, size);
        if (!name.empty()) return name;
    }
    switch (load.code) {
        case c::kLoadBit:
            return "#bit" + std::to_string(load.operands[0]);
        case c::kLoadInteger:
            return "#" + hex(address, 4) + "[dw]";
        case c::kLoadLong:
            return "#" + hex(address, 4) + "[dd]";
        case c::kOutString:
            return "#" + hex(address, 4) + "[" + std::to_string(size) + "]";
        default:
            return "#" + hex(address, 4);
    }
}

bool constantOf(const Step& s, int32_t& value) {
    switch (s.code) {
        case c::kConst8:
            value = s.operands[0];
            return true;
        case c::kConst16:
            value = static_cast<int16_t>(readLe16(s.operands.data()));  // the device sign-extends it
            return true;
        case c::kConst32:
            value = static_cast<int32_t>(readLe32(s.operands.data()));
            return true;
        default:
            return false;
    }
}

// The operator part of a reference the builder compiles to these steps after the load; false when no
// reference compiles to them.
bool operatorText(std::span<const Step> tail, std::string& out) {
    if (tail.size() == 1) {
        const Step& s = tail[0];
        switch (s.code) {
            case c::kOutDecimal:
            case c::kOutHex:
                out = "";
                return true;
            case c::kExitIfZero:
                out = ":exitif0";
                return true;
            case c::kOutDigit:
                out = ":" + std::to_string(s.operands[0]);
                return true;
            case c::kOutSign: {
                const uint8_t a = s.operands[0], b = s.operands[1];
                if (a == ' ' && b == '-')
                    out = ":s";
                else if (a == '+' && b == '-')
                    out = ":p";
                else if (a == 'P' && b == 'M')
                    out = ":m";
                else
                    return false;
                return true;
            }
            default:
                return false;
        }
    }
    int32_t v = 0;
    if (tail.empty() || !constantOf(tail[0], v)) return false;
    const std::string number = std::to_string(v);
    if (tail.size() == 2) {
        switch (tail[1].code) {
            case c::kOutCheckedAnd:
                out = "#" + number;
                return true;
            case c::kOutCheckedEqual:
                out = "$" + number;
                return true;
            case c::kOutBit: {
                const auto mask = static_cast<uint32_t>(v);
                if (mask == 0 || (mask & (mask - 1)) != 0) return false;
                int bit = 0;
                while ((mask >> bit) != 1) ++bit;
                out = "'" + std::to_string(bit);
                return true;
            }
            default:
                return false;
        }
    }
    if (tail.size() != 3 || tail[2].code != c::kOutDecimal) return false;
    switch (tail[1].code) {
        case c::kAdd:
            out = v < 0 ? "-" + std::to_string(-static_cast<int64_t>(v)) : "+" + number;
            return true;
        case c::kMultiply:
            out = "*" + number;
            return true;
        case c::kDivide:
            out = "/" + number;
            return true;
        case c::kAnd:
            out = "&" + number;
            return true;
        case c::kOr:
            out = "|" + number;
            return true;
        case c::kXor:
            out = "~" + number;
            return true;
        default:
            return false;
    }
}

bool referenceText(std::span<const Step> steps, const ObjectNamer& nameOf, std::string& out) {
    if (steps.empty()) return false;
    const Step& load = steps[0];
    if (load.code == c::kOutString) {
        if (steps.size() != 1) return false;
        out = objectText(load, nameOf);
        return true;
    }
    if (load.code != c::kLoadBit && load.code != c::kLoadByte && load.code != c::kLoadInteger &&
        load.code != c::kLoadLong)
        return false;
    std::string op;
    if (!operatorText(steps.subspan(1), op)) return false;
    out = objectText(load, nameOf) + op;
    return true;
}

}  // namespace

PageListing listPage(std::span<const uint8_t> stored, const ObjectNamer& nameOf) {
    PageListing listing;
    const size_t n = stored.size();
    size_t i = 0;
    while (i < n) {
        const uint8_t b = stored[i];
        if (b != c::kReferenceMark) {
            listing.text += static_cast<char>(b);
            ++i;
            continue;
        }
        if (i + 1 < n && stored[i + 1] == c::kReferenceMark) {
            listing.text += "^^";
            i += 2;
            continue;
        }
        // One code sequence, read as the device reads it.
        std::vector<Step> steps;
        bool skipped = false, cut = false;
        size_t j = i + 1;
        for (;;) {
            if (j >= n) {
                cut = true;
                break;
            }
            const uint8_t code = stored[j];
            const int length = c::operandLength(code);
            if (length < 0) {
                skipped = true;
                ++j;
                continue;
            }
            if (j + 1 + static_cast<size_t>(length) > n) {
                cut = true;
                j = n;
                break;
            }
            steps.push_back({code, stored.subspan(j + 1, static_cast<size_t>(length))});
            j += 1 + static_cast<size_t>(length);
            if (c::endsSequence(code)) break;
        }
        ++listing.references;
        std::string reference;
        if (!skipped && !cut && referenceText(steps, nameOf, reference)) {
            listing.text += "^" + reference + "^";
        } else {
            listing.text += "^{";
            for (size_t k = i + 1; k < j; ++k) {
                char byte[4];
                std::snprintf(byte, sizeof byte, k == i + 1 ? "%02X" : " %02X", stored[k]);
                listing.text += byte;
            }
            listing.text += "}^";
            if (cut)
                listing.problems.push_back(
                    {i, "the reference at offset " + std::to_string(i) +
                            " runs past the end of the file; the device reads on into the bytes after it"});
        }
        i = j;
    }
    return listing;
}

}  // namespace brindlecor
