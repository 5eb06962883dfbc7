// The window program of the server: `brindlecorpc-window [OPTIONS] [IMAGE.kvb]`, started by `brindlecorpc`
// without arguments or with an image.
#pragma once

namespace brindlecor::server {

// Returns the exit status: 0 after the window closed, 1 without a display, 2 on a usage error.
int brindlecorpcWindowMain(int argc, char** argv);

}  // namespace brindlecor::server
