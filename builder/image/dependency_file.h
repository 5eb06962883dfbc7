// The dependency file of a make, in the Makefile form that make and ninja read: the image as target, every
// file and folder the make read as its prerequisites, and an empty rule for each of them so that a file
// that has gone away does not stop the build tool.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "builder/definitions/make_files.h"

namespace brindlecor::builder {

// The path absolute and lexically normal, without a trailing separator: the form in which the watch and
// the dependency file name files.
std::string absolutePath(std::string_view path);

// The path with the escapes of a Makefile rule: blanks (and the backslashes before them) behind a backslash,
// "#" as "\#", "$" as "$$". Nothing for a path with a line break, which no rule can hold.
std::optional<std::string> escapeRulePath(std::string_view path);

// The text of the dependency file, or the reason there is none.
struct DependencyText {
    std::string text;
    std::string problem;  // not empty when a path cannot be written
};
DependencyText dependencyText(const std::string& target, const MakeFiles& files);

// Writes the dependency file for target (replacing it as a whole); the error text when that failed.
std::optional<std::string> writeDependencyFile(const std::string& path, const std::string& target,
                                               const MakeFiles& files);

}  // namespace brindlecor::builder
