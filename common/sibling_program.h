// Starting the window program that belongs to a command-line program.
#pragma once

#include <string>
#include <vector>

namespace brindlecor {

// Where the window program `name` may be, in the order looked at, for a command line in `folder`.
std::vector<std::string> siblingProgramCandidates(const std::string& folder, const char* name);

// Replaces this process with the program `name` found from the folder of the running executable, passing
// argv on. Returns only when that fails: prints why, with `usage`, on stderr and returns the exit status (1
// when the program is there but cannot start, 2 when it is missing).
int execSiblingProgram(const char* name, char** argv, const char* usage);

}  // namespace brindlecor
