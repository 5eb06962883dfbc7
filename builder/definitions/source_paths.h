// Files named by a definitions file: where a named path points, and reading a file whole.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace brindlecor::builder {

// The path as named inside the file at namingFile: "\" is read as "/", an absolute or empty path stays
// as it is, a relative one is taken from the naming file's folder (no further normalisation).
std::string resolveNamedPath(const std::string& namingFile, std::string path);

// What a make reads whole (definitions files, templates, pages and form handlers) is refused by its size
// beyond this, before any of it is read: no such file could ever end up in a 49,152-byte image.
inline constexpr uintmax_t kMaxSourceFileBytes = 16u << 20;

struct FileRead {
    std::optional<std::string> content;  // nothing when missing, unreadable or too big
    bool tooBig = false;
    uintmax_t size = 0;  // the size found, when too big
};

// The whole content of a readable regular file of at most `limit` bytes.
FileRead readSourceFile(const std::string& path, uintmax_t limit = kMaxSourceFileBytes);
// The whole content of a readable regular file within the limit, or nothing.
std::optional<std::string> readWholeFile(const std::string& path);
// "PATH is too big: N bytes (at most LIMIT)".
std::string tooBigText(const std::string& path, uintmax_t size, uintmax_t limit = kMaxSourceFileBytes);

// True when the folder exists and holds at least one regular file.
bool folderHoldsFile(const std::string& folder);

}  // namespace brindlecor::builder
