#include "builder/image/page_compiler.h"

#include "builder/image/site_paths.h"
#include "common/image_layout.h"
#include "common/page_codes.h"

namespace brindlecor::builder {

namespace {

constexpr const char* kObjectProcessing = "Object Processing";

bool producesOwnOutput(uint8_t token) {
    return token == code::kOutCheckedAnd || token == code::kOutCheckedEqual || token == code::kOutBit;
}

// The type code and its operands: the object's load code (a String carries its size too) and address.
void emitLoad(ImageEmitter& out, const ObjectRecord& object) {
    switch (object.typeCode) {
        case image::kTypeBit:
            out.emitByte(code::kLoadBit);
            break;
        case image::kTypeByte:
        case image::kTypeHex:
            out.emitByte(code::kLoadByte);
            break;
        case image::kTypeInteger:
            out.emitByte(code::kLoadInteger);
            break;
        case image::kTypeLong:
            out.emitByte(code::kLoadLong);
            break;
        case image::kTypeString:
            out.emitByte(code::kOutString);
            out.emitByte(static_cast<uint8_t>(object.size));
            break;
        default:
            break;  // codes 5 and 6 are never declared; they would carry only the address
    }
    out.emitLe16(static_cast<uint16_t>(object.address));
}

}  // namespace

void emitConstant(ImageEmitter& out, uint8_t token, int32_t value) {
    const auto v = static_cast<uint32_t>(value);
    // The device reads the two-byte operand as signed, so 32768..65535 need all four bytes to keep their value.
    if ((v & 0xFFFF8000u) != 0) {
        out.emitByte(code::kConst32);
        out.emitLe32(v);
    } else if ((v & 0xFF00u) != 0) {
        out.emitByte(code::kConst16);
        out.emitLe16(static_cast<uint16_t>(v));
    } else {
        out.emitByte(code::kConst8);
        out.emitByte(static_cast<uint8_t>(v));
    }
    out.emitByte(token);
    if (!producesOwnOutput(token)) out.emitByte(code::kOutDecimal);
}

PageCompiler::PageCompiler(const std::vector<ObjectRecord>& objects, ImageEmitter& out, BuildLog& log)
    : out_(out), log_(log) {
    byName_.reserve(objects.size());
    for (const ObjectRecord& object : objects) byName_.emplace(object.name, &object);
}

PageOutcome PageCompiler::compilePage(const std::string& text, const std::string& filePath) {
    filePath_ = filePath;
    line_ = 1;
    lineStart_ = 1;
    const auto length = static_cast<int32_t>(text.size());
    int32_t p = 1;
    while (p <= length) {
        const char c = text[p - 1];
        if (c != '^') {
            if (c == '\n') {
                ++line_;
                lineStart_ = p + 1;
            }
            out_.emitByte(static_cast<uint8_t>(c));
            ++p;
            continue;
        }
        if (nextCharAfter(text, p) == "^") {
            out_.emitByte(code::kReferenceMark);
            out_.emitByte(code::kReferenceMark);
            p += 2;
            continue;
        }
        referenceAt_ = p;
        const Reference ref = parseReference(text, p);
        ++p;
        if (emitReference(ref) == Answer::Cancel) return PageOutcome::Cancelled;
    }
    return PageOutcome::Finished;
}

Answer PageCompiler::reportAtReference(const std::string& title, const std::string& text) {
    log_.setLocation(filePath_, line_, referenceAt_ - lineStart_ + 1);
    const Answer answer = log_.reportError(title, text);
    log_.clearLocation();
    return answer;
}

Answer PageCompiler::objectError(const std::string& problem) {
    return reportAtReference(kObjectProcessing, problem + "\r\n\r\nFile: " + filePath_);
}

Answer PageCompiler::emitReference(const Reference& ref) {
    const auto found = byName_.find(ref.name);
    if (found == byName_.end()) return objectError("No Object Found by the Name: " + ref.name);
    const ObjectRecord& object = *found->second;
    out_.emitByte(code::kReferenceMark);
    emitLoad(out_, object);
    if (object.typeCode == image::kTypeString) return Answer::Ok;
    return emitOperator(object, ref);
}

Answer PageCompiler::emitOperator(const ObjectRecord& object, const Reference& ref) {
    if (ref.modifier == ' ') {
        out_.emitByte(object.typeCode == image::kTypeHex ? code::kOutHex : code::kOutDecimal);
        return Answer::Ok;
    }
    if (ref.modifier == ':') {
        static constexpr struct {
            const char* argument;
            uint8_t first, second;
        } kSigns[] = {{"s", ' ', '-'}, {"p", '+', '-'}, {"m", 'P', 'M'}};
        for (const auto& sign : kSigns) {
            if (ref.argument == sign.argument) {
                out_.emitByte(code::kOutSign);
                out_.emitByte(sign.first);
                out_.emitByte(sign.second);
                return Answer::Ok;
            }
        }
        if (ref.argument == "exitif0") {
            out_.emitByte(code::kExitIfZero);
            return Answer::Ok;
        }
    }
    uint8_t token = 0;
    switch (ref.modifier) {
        case ':':
            token = code::kOutDigit;
            break;
        case '+':
        case '-':
            token = code::kAdd;
            break;
        case '*':
            token = code::kMultiply;
            break;
        case '/':
            token = code::kDivide;
            break;
        case '&':
            token = code::kAnd;
            break;
        case '|':
            token = code::kOr;
            break;
        case '~':
            token = code::kXor;
            break;
        case '#':
            token = code::kOutCheckedAnd;
            break;
        case '$':
            token = code::kOutCheckedEqual;
            break;
        case '\'':
            token = code::kOutBit;
            break;
        default:
            return Answer::Ok;  // "\", "(", ")" and "%" are read but compile to nothing
    }
    const NumberResult number = crackNumberChecked(ref.argument);
    if (!number.ok) return objectError(number.problem);
    int32_t v = number.value;
    switch (ref.modifier) {
        case ':':
            // The digit position is one byte on the device; a wider number would silently wrap.
            if (v < 0 || v > 255) return objectError("Digit Position Must Be 0-255: " + ref.argument);
            out_.emitByte(token);
            out_.emitByte(static_cast<uint8_t>(v));
            return Answer::Ok;
        case '-':
            v = static_cast<int32_t>(0u - static_cast<uint32_t>(v));
            break;
        case '\'':
            if (v < 0) return objectError("Number out of Range: " + ref.argument);
            if (v >= 32) {
                reportAtReference("Bit Object", "object.bit bit must be less than 32");
                v = 31;
            }
            v = static_cast<int32_t>(uint32_t{1} << v);
            break;
        default:
            break;
    }
    emitConstant(out_, token, v);
    return Answer::Ok;
}

}  // namespace brindlecor::builder
