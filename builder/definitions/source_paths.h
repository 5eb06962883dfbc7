// Files named by a definitions file: where a named path points, and reading a file whole.
#pragma once

#include <optional>
#include <string>

namespace brindlecor::builder {

// The path as named inside the file at namingFile: "\" is read as "/", an absolute or empty path stays
// as it is, a relative one is taken from the naming file's folder (no further normalisation).
std::string resolveNamedPath(const std::string& namingFile, std::string path);

// The whole content of a readable regular file, or nothing.
std::optional<std::string> readWholeFile(const std::string& path);

// True when the folder exists and holds at least one regular file.
bool folderHoldsFile(const std::string& folder);

}  // namespace brindlecor::builder
