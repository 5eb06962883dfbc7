// Byte codes of compiled object references in stored pages: written by the builder's page compiler and
// executed by the emulator's renderer.
#pragma once

#include <cstdint>

namespace brindlecor::code {

constexpr uint8_t kReferenceMark = 0x5E;  // "^"

// Loads into the accumulator.
constexpr uint8_t kLoadBit = 0x80;
constexpr uint8_t kLoadByte = 0x83;
constexpr uint8_t kLoadInteger = 0x86;
constexpr uint8_t kLoadLong = 0x89;
// Constants into the operand register.
constexpr uint8_t kConst8 = 0x8C;
constexpr uint8_t kConst16 = 0x8F;
constexpr uint8_t kConst32 = 0x92;
constexpr uint8_t kIncrementLong = 0x95;
// Output codes, each ends a sequence.
constexpr uint8_t kOutDecimal = 0x98;
constexpr uint8_t kOutDigit = 0x9B;
constexpr uint8_t kOutString = 0x9E;
// Operators.
constexpr uint8_t kAnd = 0xA1;
constexpr uint8_t kOr = 0xA4;
constexpr uint8_t kXor = 0xA7;
constexpr uint8_t kAdd = 0xAA;
constexpr uint8_t kMultiply = 0xAD;
constexpr uint8_t kDivide = 0xB0;
constexpr uint8_t kOutCheckedAnd = 0xB3;
constexpr uint8_t kOutCheckedEqual = 0xB6;
constexpr uint8_t kOutBit = 0xB9;
constexpr uint8_t kOutSign = 0xBC;
constexpr uint8_t kOutHex = 0xBF;
constexpr uint8_t kExitIfZero = 0xC2;

// The bytes of operands that follow a code as the device reads them; -1 for a byte that is no code, which
// the device skips.
constexpr int operandLength(uint8_t c) {
    switch (c) {
        case kLoadBit:
        case kLoadByte:
        case kLoadInteger:
        case kLoadLong:
        case kConst16:
        case kIncrementLong:
        case kOutSign:
            return 2;
        case kConst8:
        case kOutDigit:
            return 1;
        case kConst32:
            return 4;
        case kOutString:
            return 3;
        case kOutDecimal:
        case kAnd:
        case kOr:
        case kXor:
        case kAdd:
        case kMultiply:
        case kDivide:
        case kOutCheckedAnd:
        case kOutCheckedEqual:
        case kOutBit:
        case kOutHex:
        case kExitIfZero:
            return 0;
        default:
            return -1;
    }
}

// True for the output codes, which end a code sequence.
constexpr bool endsSequence(uint8_t c) {
    return c == kOutDecimal || c == kOutDigit || c == kOutString || c == kOutCheckedAnd ||
           c == kOutCheckedEqual || c == kOutBit || c == kOutSign || c == kOutHex || c == kExitIfZero;
}

}  // namespace brindlecor::code
