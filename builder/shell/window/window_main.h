// The window program of the builder: `tamarquill-window [--local-port N] [FILE]`, started by `tamarquill`
// without a command or with a file.
#pragma once

namespace brindlecor::builder {

// Returns the exit status: 0 after the window closed, 1 without a display or when another copy runs, 2 on
// a usage error.
int tamarquillWindowMain(int argc, char** argv);

}  // namespace brindlecor::builder
