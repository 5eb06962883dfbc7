#include "server/emulation/page_renderer.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

#include "common/byte_order.h"
#include "common/image_layout.h"
#include "common/page_codes.h"

namespace brindlecor::server {

namespace img = brindlecor::image;

namespace {

constexpr uint32_t kAddressEnd = 0x10000;

// Executes code sequences over flash; every read is checked against the top of the address space.
class PageMachine {
  public:
    PageMachine(Device& device, std::string& out) : d_(device), out_(out) {}

    bool flashByte(uint32_t& at, uint8_t& b) const {
        if (at >= kAddressEnd) return false;
        b = d_.flash[at++];
        return true;
    }
    bool flash16(uint32_t& at, uint16_t& v) const {
        if (at + 2 > kAddressEnd) return false;
        v = readLe16(&d_.flash[at]);
        at += 2;
        return true;
    }
    bool ramBytes(uint32_t address, uint32_t count) const { return address + count <= kAddressEnd; }

    // Runs one sequence starting at `at`; on return `at` is just past the output code's last operand.
    // Sets `endPage` when 0xC2 ended the page.
    bool runSequence(uint32_t& at, bool& endPage) {
        namespace c = brindlecor::code;
        for (;;) {
            uint8_t code = 0;
            if (!flashByte(at, code)) return false;
            switch (code) {
                case c::kLoadBit: {
                    uint8_t bit = 0, unused = 0;
                    if (!flashByte(at, bit) || !flashByte(at, unused)) return false;
                    d_.accumulator = d_.bitRead(bit);
                    break;
                }
                case c::kLoadByte:
                case c::kLoadInteger:
                case c::kLoadLong: {
                    uint16_t address = 0;
                    if (!flash16(at, address)) return false;
                    const uint32_t size = code == c::kLoadByte ? 1 : code == c::kLoadInteger ? 2 : 4;
                    if (!ramBytes(address, size)) return false;
                    const uint8_t* p = &d_.ram[address];
                    d_.accumulator = size == 1   ? p[0]
                                     : size == 2 ? static_cast<int16_t>(readLe16(p))
                                                 : static_cast<int32_t>(readLe32(p));
                    break;
                }
                case c::kConst8: {
                    uint8_t v = 0;
                    if (!flashByte(at, v)) return false;
                    d_.operandRegister = v;
                    break;
                }
                case c::kConst16: {
                    // The device sign-extends this operand: 40 9C loads -25536. Constants 32768..65535 are
                    // therefore stored with the 32-bit form.
                    uint16_t v = 0;
                    if (!flash16(at, v)) return false;
                    d_.operandRegister = static_cast<int16_t>(v);
                    break;
                }
                case c::kConst32: {
                    if (at + 4 > kAddressEnd) return false;
                    d_.operandRegister = static_cast<int32_t>(readLe32(&d_.flash[at]));
                    at += 4;
                    break;
                }
                case c::kIncrementLong: {
                    uint16_t address = 0;
                    if (!flash16(at, address) || !ramBytes(address, 4)) return false;
                    const int32_t v = static_cast<int32_t>(readLe32(&d_.ram[address]));
                    if (v == std::numeric_limits<int32_t>::max()) return false;
                    writeLe32(&d_.ram[address], static_cast<uint32_t>(v + 1));
                    break;
                }
                case c::kAnd:
                    d_.accumulator &= d_.operandRegister;
                    break;
                case c::kOr:
                    d_.accumulator |= d_.operandRegister;
                    break;
                case c::kXor:
                    d_.accumulator ^= d_.operandRegister;
                    break;
                case c::kAdd:
                    if (__builtin_add_overflow(d_.accumulator, d_.operandRegister, &d_.accumulator))
                        return false;
                    break;
                case c::kMultiply:
                    if (__builtin_mul_overflow(d_.accumulator, d_.operandRegister, &d_.accumulator))
                        return false;
                    break;
                case c::kDivide:
                    if (d_.operandRegister == 0) return false;
                    if (d_.accumulator == std::numeric_limits<int32_t>::min() && d_.operandRegister == -1)
                        return false;
                    d_.accumulator /= d_.operandRegister;
                    break;
                case c::kOutDecimal:
                    appendDecimal(d_.accumulator);
                    return true;
                case c::kOutDigit: {
                    uint8_t digit = 0;
                    if (!flashByte(at, digit)) return false;
                    if (digit > 10) {
                        out_ += '0';
                    } else if (digit > 0) {
                        uint64_t magnitude =
                            static_cast<uint64_t>(std::llabs(static_cast<long long>(d_.accumulator)));
                        for (int i = 1; i < digit; ++i) magnitude /= 10;
                        out_ += static_cast<char>('0' + magnitude % 10);
                    }
                    return true;
                }
                case c::kOutString: {
                    uint8_t count = 0;
                    uint16_t address = 0;
                    if (!flashByte(at, count) || !flash16(at, address)) return false;
                    for (uint32_t i = 0; i < count; ++i) {
                        if (address + i >= kAddressEnd) return false;
                        const uint8_t ch = d_.ram[address + i];
                        if (ch == 0) break;
                        out_ += static_cast<char>(ch);
                    }
                    return true;
                }
                case c::kOutCheckedAnd:
                    d_.accumulator &= d_.operandRegister;
                    if (d_.accumulator != 0) out_ += "CHECKED";
                    return true;
                case c::kOutCheckedEqual:
                    if (((d_.accumulator ^ d_.operandRegister) & 0xFFFFFF) == 0) out_ += "CHECKED";
                    return true;
                case c::kOutBit:
                    d_.accumulator &= d_.operandRegister;
                    out_ += d_.accumulator != 0 ? '1' : '0';
                    return true;
                case c::kOutSign: {
                    uint8_t positive = 0, negative = 0;
                    if (!flashByte(at, positive) || !flashByte(at, negative)) return false;
                    out_ += static_cast<char>(d_.accumulator >= 0 ? positive : negative);
                    return true;
                }
                case c::kOutHex: {
                    static constexpr char kHex[] = "0123456789ABCDEF";
                    const uint8_t low = static_cast<uint8_t>(d_.accumulator);
                    out_ += kHex[low >> 4];
                    out_ += kHex[low & 0xF];
                    return true;
                }
                case c::kExitIfZero:
                    endPage = (d_.accumulator & 0xFF) == 0;
                    return true;
                default:
                    break;  // not a code: skipped
            }
        }
    }

    void appendDecimal(int32_t value) {
        char buffer[12];
        char* p = buffer + sizeof buffer;
        uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
        do {
            *--p = static_cast<char>('0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude != 0);
        if (value < 0) *--p = '-';
        out_.append(p, static_cast<size_t>(buffer + sizeof buffer - p));
    }

  private:
    Device& d_;
    std::string& out_;
};

}  // namespace

bool renderFile(Device& device, uint16_t address, uint32_t length, uint8_t flags, std::string& out) {
    const bool page = (flags & img::kFilePage) != 0;
    if ((flags & (img::kFilePage | img::kFileFormHandler)) == 0) out += kPlainFileHeader;
    const uint32_t end = std::min<uint32_t>(address + length, kAddressEnd);
    if (!page) {
        out.append(reinterpret_cast<const char*>(&device.flash[address]), end > address ? end - address : 0);
        return true;
    }
    PageMachine machine(device, out);
    const uint8_t* flash = device.flash.data();
    uint32_t at = address;
    while (at < end) {
        // Copy the run of plain bytes up to the next mark in one go.
        uint32_t run = at;
        while (run < end && flash[run] != code::kReferenceMark) ++run;
        out.append(reinterpret_cast<const char*>(flash + at), run - at);
        at = run;
        if (at >= end) break;
        ++at;  // the mark
        uint8_t next = 0;
        uint32_t peek = at;
        if (!machine.flashByte(peek, next)) return false;
        if (next == code::kReferenceMark) {
            out += '^';
            at = peek;
            continue;
        }
        bool endPage = false;
        if (!machine.runSequence(at, endPage)) return false;
        if (endPage) break;
    }
    return true;
}

}  // namespace brindlecor::server
