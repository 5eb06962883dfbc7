#include "builder/definitions/scanner.h"

#include <algorithm>

#include "common/text.h"

namespace brindlecor::builder {

namespace {

constexpr std::string_view kAtomStart = "abcdefghijklmnopqrstuvwxyz_0123456789+-$";
constexpr std::string_view kAtomContinue = "abcdefghijklmnopqrstuvwxyz_0123456789.";
constexpr std::string_view kReferenceName = "abcdefghijklmnopqrstuvwxyz_0123456789";
constexpr std::string_view kReferenceModifier = ":+-*\\/()&|#%~'$";
constexpr std::string_view kReferenceArgument = "0123456789abcdefghijklmnopqrstuvwxyz";

// Membership tables, built once: the scanner tests every character of a file against them.
class CharSet {
  public:
    constexpr explicit CharSet(std::string_view members) {
        for (char c : members) member_[static_cast<unsigned char>(c)] = true;
    }
    constexpr bool has(char c) const { return member_[static_cast<unsigned char>(c)]; }

  private:
    bool member_[256] = {};
};

constexpr CharSet kAtomStartSet(kAtomStart);
constexpr CharSet kAtomContinueSet(kAtomContinue);
constexpr CharSet kReferenceNameSet(kReferenceName);
constexpr CharSet kReferenceModifierSet(kReferenceModifier);
constexpr CharSet kReferenceArgumentSet(kReferenceArgument);

bool inSet(const CharSet& set, char lowered) {
    return set.has(lowered);
}

int32_t lengthOf(const std::string& text) {
    return static_cast<int32_t>(std::min<size_t>(text.size(), INT32_MAX - 2));
}

// The 0-based index of the first CR or LF at or after from, or npos.
size_t findLineEnd(const std::string& text, size_t from) {
    return text.find_first_of("\r\n", from);
}

int hexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

NumberResult notANumber(std::string_view literal) {
    return {false, 0, "Not a Number: " + std::string(literal)};
}

NumberResult outOfRange(std::string_view literal) {
    return {false, 0, "Number out of Range: " + std::string(literal)};
}

// Unsigned digits in base 16 or 8; anything up to FFFFFFFF is taken as a 32-bit pattern.
NumberResult radixNumber(std::string_view digits, int base, std::string_view literal) {
    if (digits.empty()) return notANumber(literal);
    uint64_t value = 0;
    bool tooBig = false;
    for (char c : digits) {
        const int d = hexDigitValue(c);
        if (d < 0 || d >= base) return notANumber(literal);
        value = value * base + d;
        if (value > 0xFFFFFFFFull) {
            tooBig = true;
            value = 0;
        }
    }
    if (tooBig) return outOfRange(literal);
    return {true, static_cast<int32_t>(static_cast<uint32_t>(value)), {}};
}

// No validation by design: any character that is not a digit adds 0, and 2 to 9 add their own value.
NumberResult binaryNumber(std::string_view digits, std::string_view literal) {
    uint64_t value = 0;
    for (char c : digits) {
        value = value * 2 + ((c >= '0' && c <= '9') ? c - '0' : 0);
        if (value > 0xFFFFFFFFull) return outOfRange(literal);
    }
    return {true, static_cast<int32_t>(static_cast<uint32_t>(value)), {}};
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Blanks, sign, digits, fraction, exponent; the value is worked out on the decimal digits themselves so that
// rounding (halves to even) is exact however many digits the literal has.
NumberResult decimalNumber(std::string_view literal) {
    size_t i = 0;
    const size_t n = literal.size();
    while (i < n && isBlank(literal[i])) ++i;
    bool negative = false;
    if (i < n && (literal[i] == '+' || literal[i] == '-')) negative = literal[i++] == '-';
    std::string mantissa;
    size_t fractionDigits = 0;
    while (i < n && isDigit(literal[i])) mantissa += literal[i++];
    if (i < n && literal[i] == '.') {
        ++i;
        while (i < n && isDigit(literal[i])) {
            mantissa += literal[i++];
            ++fractionDigits;
        }
    }
    if (mantissa.empty()) return notANumber(literal);
    int64_t exponent = 0;
    if (i < n && (literal[i] == 'e' || literal[i] == 'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < n && (literal[i] == '+' || literal[i] == '-')) negativeExponent = literal[i++] == '-';
        if (i >= n || !isDigit(literal[i])) return notANumber(literal);
        while (i < n && isDigit(literal[i])) {
            exponent = std::min<int64_t>(exponent * 10 + (literal[i++] - '0'), 1000000000);
        }
        if (negativeExponent) exponent = -exponent;
    }
    while (i < n && isBlank(literal[i])) ++i;
    if (i != n) return notANumber(literal);

    const size_t firstNonZero = mantissa.find_first_not_of('0');
    if (firstNonZero == std::string::npos) return {true, 0, {}};
    mantissa.erase(0, firstNonZero);
    // value = mantissa * 10^scale; the integer part has integerDigits digits (may be <= 0).
    const int64_t scale = exponent - static_cast<int64_t>(fractionDigits);
    const int64_t integerDigits = static_cast<int64_t>(mantissa.size()) + scale;
    if (integerDigits > 10) return outOfRange(literal);
    int64_t magnitude = 0;
    for (int64_t k = 0; k < integerDigits; ++k) {
        const char d = k < static_cast<int64_t>(mantissa.size()) ? mantissa[k] : '0';
        magnitude = magnitude * 10 + (d - '0');
    }
    if (integerDigits < static_cast<int64_t>(mantissa.size())) {
        const size_t fractionStart = integerDigits > 0 ? static_cast<size_t>(integerDigits) : 0;
        const char first = integerDigits >= 0 ? mantissa[fractionStart] : '0';
        const bool restNonZero = integerDigits >= 0
                                     ? mantissa.find_first_not_of('0', fractionStart + 1) != std::string::npos
                                     : true;
        if (first > '5' || (first == '5' && restNonZero) || (first == '5' && (magnitude & 1))) ++magnitude;
    }
    if (negative) magnitude = -magnitude;
    if (magnitude > INT32_MAX || magnitude < INT32_MIN) return outOfRange(literal);
    return {true, static_cast<int32_t>(magnitude), {}};
}

}  // namespace

std::string getatom(const std::string& text, int32_t& position, bool& quoted) {
    int32_t start = 0;
    return getatom(text, position, quoted, start);
}

std::string getatom(const std::string& text, int32_t& position, bool& quoted, int32_t& start) {
    std::string result;
    quoted = false;
    start = 0;
    const int32_t length = lengthOf(text);
    if (position < 1) position = 1;
    while (position <= length) {
        const char ch = text[position - 1];
        ++position;
        const char lowered = lowerChar(ch);
        if (inSet(kAtomStartSet, lowered)) {
            start = position - 1;
            result += ch;
            while (position <= length) {
                const char d = text[position - 1];
                ++position;
                if (!inSet(kAtomContinueSet, lowerChar(d))) break;
                result += d;
            }
            return result;
        }
        if (ch == '"') {
            quoted = true;
            const size_t close = text.find('"', static_cast<size_t>(position - 1));
            if (close != std::string::npos && close < static_cast<size_t>(length)) {
                start = position - 1;
                result = text.substr(position - 1, close - (position - 1));
                position = static_cast<int32_t>(close) + 2;
                return result;
            }
            continue;  // a lone quote is dropped
        }
        if (ch == ';') {
            // A comment ends at the line end, whichever form it takes; without one it runs to the end.
            const size_t end = findLineEnd(text, static_cast<size_t>(position - 1));
            if (end == std::string::npos || end >= static_cast<size_t>(length)) {
                position = length + 1;
                return result;
            }
            position = static_cast<int32_t>(end) + 2;
            continue;
        }
    }
    return result;
}

NumberResult crackNumberChecked(std::string_view literal) {
    if (literal.empty()) return notANumber(literal);
    const char last = lowerChar(literal.back());
    const std::string_view body = literal.substr(0, literal.size() - 1);
    switch (last) {
        case 'h':
            return radixNumber(body, 16, literal);
        case 'o':
            return radixNumber(body, 8, literal);
        case 'b':
            return binaryNumber(body, literal);
        default:
            return decimalNumber(literal);
    }
}

int32_t cracknumber(std::string_view literal) {
    return crackNumberChecked(literal).value;
}

std::string HTTPprocess(std::string_view text) {
    std::string output;
    output.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        char ch = text[i++];
        if (ch == '%') {
            int value = 0;
            for (size_t k = i; k < i + 2 && k < text.size(); ++k) {
                const int d = hexDigitValue(text[k]);
                if (d < 0) break;
                value = value * 16 + d;
            }
            ch = static_cast<char>(value);
            i += 2;
        }
        output += ch;
    }
    return output;
}

Reference parseReference(const std::string& text, int32_t& position) {
    Reference ref;
    const int32_t length = lengthOf(text);
    // Past the end the character is "", which belongs to every set.
    auto at = [&](int32_t p) -> int {
        return (p >= 1 && p <= length) ? static_cast<unsigned char>(lowerChar(text[p - 1])) : -1;
    };
    auto member = [](const CharSet& set, int c) { return c < 0 || inSet(set, static_cast<char>(c)); };
    ++position;
    int ch = at(position);
    while (member(kReferenceNameSet, ch)) {
        if (ch >= 0) ref.name += static_cast<char>(ch);
        ++position;
        if (position > length) return ref;
        ch = at(position);
    }
    if (ch == '^') return ref;
    if (inSet(kReferenceModifierSet, static_cast<char>(ch))) {
        ref.modifier = static_cast<char>(ch);
        ++position;
        while (true) {
            if (position > length) return ref;
            ch = at(position);
            if (!inSet(kReferenceArgumentSet, static_cast<char>(ch))) break;
            ref.argument += static_cast<char>(ch);
            ++position;
        }
        if (ch == '^') return ref;
    }
    --position;
    return ref;
}

std::string hex4(int32_t value) {
    // A negative address (an equ above 7FFFh) is shown by its low 16 bits, as it was written.
    const int32_t v = value < 0 ? (value & 0xFFFF) : value;
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    if (v / 4096 != 0) out += '0';
    out += kDigits[(v / 4096) & 15];
    out += kDigits[(v / 256) & 15];
    out += kDigits[(v / 16) & 15];
    out += kDigits[v & 15];
    return out;
}

}  // namespace brindlecor::builder
