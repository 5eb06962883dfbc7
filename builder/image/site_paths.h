// Small text helpers of the site walk: a name's extension, a path without its trailing separator, and the
// character after a position of a page.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace brindlecor::builder {

// The text after the last "." of name; "" when there is none or a "/", ":" or "\" follows it.
std::string fileExtension(std::string_view name);

// The path without one trailing "/" or "\".
std::string stripTrailingBackslash(std::string_view path);

// The character at 1-based position + 1 of text, or "" past the end.
std::string nextCharAfter(std::string_view text, int32_t position);

}  // namespace brindlecor::builder
