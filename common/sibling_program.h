// Starting the window program that is installed beside a command-line program.
#pragma once

namespace brindlecor {

// Replaces this process with the program `name` from the folder of the running executable, passing argv
// on. Returns only when that fails: prints why, with `usage`, on stderr and returns the exit status (1 when
// the program is there but cannot start, 2 when it is missing).
int execSiblingProgram(const char* name, char** argv, const char* usage);

}  // namespace brindlecor
