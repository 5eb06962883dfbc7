// The `brindlecorpc` command line: `serve` runs the emulated device headless; without arguments the window
// is started.
#pragma once

#include <string>
#include <vector>

namespace brindlecor::server {

constexpr const char* kServerVersionText = "BrindlecorPC(tm) Version 1.1 Build #3";

int brindlecorpcMain(int argc, char** argv);

// `serve IMAGE.kvb [options]`; args excludes the program and subcommand names.
int runServeCommand(int argc, char** argv, const std::vector<std::string>& args);

}  // namespace brindlecor::server
