// The lexical layer of the definitions language and the small text operations the page compiler and the
// export share with it: atoms, number literals, percent escapes, ^name^ references and address text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace brindlecor::builder {

// The next atom of text from position (1-based, advanced past it); "" at the end of the text. Comments
// (";" to the end of the line) and separators are skipped. quoted is cleared first and set when the atom
// came from a double-quoted string.
std::string getatom(const std::string& text, int32_t& position, bool& quoted);
// The same, also giving where the atom began (its opening quote for a quoted one); 0 at the end of the text.
std::string getatom(const std::string& text, int32_t& position, bool& quoted, int32_t& start);

// A number literal: decimal, or hexadecimal / binary / octal by a last character h, b or o.
struct NumberResult {
    bool ok = true;
    int32_t value = 0;
    std::string problem;  // "Not a Number: ..." or "Number out of Range: ..." when ok is false
};
NumberResult crackNumberChecked(std::string_view literal);

// The value of a literal, or 0 for what is no number or does not fit 32 bits.
int32_t cracknumber(std::string_view literal);

// The text with every %XX escape replaced by the character with that code (lenient: non-hex digits end
// the value, no digits give code 0).
std::string HTTPprocess(std::string_view text);

// One ^name^ / ^name<modifier>argument^ reference; name and argument are lower case, modifier ' ' when none.
struct Reference {
    std::string name;
    std::string argument;
    char modifier = ' ';
};
// On entry position is on the opening '^'. On return it is on the closing '^' of a well-formed reference,
// or on the last character taken by a malformed one; the caller goes on at position + 1.
Reference parseReference(const std::string& text, int32_t& position);

// Hexadecimal text of the low 16 bits of an address: 4 upper-case digits, 5 with a leading "0" from 1000h.
std::string hex4(int32_t value);

}  // namespace brindlecor::builder
