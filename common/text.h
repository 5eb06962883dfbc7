// Byte-per-character text helpers. Texts are Windows-1252 bytes held in std::string.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace brindlecor {

// Lower case of one Windows-1252 character (A-Z, the accented capitals 0xC0-0xDE but 0xD7, and the
// four capitals at 0x8A, 0x8C, 0x8E, 0x9F).
char lowerChar(char c);

// The text with lowerChar applied to every character.
std::string lowerCase(std::string_view text);

// The text without leading and trailing spaces (tabs and other blanks are kept).
std::string trimSpaces(std::string_view text);

// The Windows-1252 bytes of a UTF-8 text (what a terminal or a spreadsheet's CSV export hands over);
// nullopt when the text is not UTF-8 or holds a character that Windows-1252 has no byte for.
std::optional<std::string> utf8ToWindows1252(std::string_view text);

// The UTF-8 text of Windows-1252 bytes, for a terminal; a byte that stands for no character stays "?".
std::string windows1252ToUtf8(std::string_view text);

// Decimal text of a signed 64-bit number.
std::string decimal(long long value);

// The Windows-1252 text as UTF-8, for the JSON and terminals of today; the five codes that Windows-1252
// leaves free stand for the control characters of the same number.
std::string utf8FromWindows1252(std::string_view text);

}  // namespace brindlecor
