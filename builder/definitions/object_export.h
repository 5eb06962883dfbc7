// $export: writes the objects declared so far into a text file built from the user's templates (a header,
// the format text once per object with ^word^ placeholders filled in, a footer).
#pragma once

#include <string>
#include <vector>

#include "builder/definitions/build_state.h"
#include "builder/definitions/make_files.h"
#include "builder/image/build_log.h"

namespace brindlecor::builder {

// The text a placeholder word (lower case) stands for in one object's line; an unknown word stands for
// itself followed by its modifier and argument.
std::string placeholderValue(const ObjectRecord& object, const std::string& word, char modifier,
                             const std::string& argument);

// The format text filled in for one object, appended to out.
void expandFormat(const std::string& format, const ObjectRecord& object, std::string& out);

// Writes the export file the settings name, replacing any earlier one; problems go to the log. files, when
// given, records the templates read and the file written, and may forbid the writing.
void exportObjects(BuildSettings& settings, const std::vector<ObjectRecord>& objects, BuildLog& log,
                   MakeFiles* files = nullptr);

}  // namespace brindlecor::builder
