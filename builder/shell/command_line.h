// The `tamarquill` command line: subcommands run headless; without arguments the window is started.
#pragma once

#include <string>
#include <vector>

namespace brindlecor::builder {

constexpr const char* kBuilderVersionText = "Tamarquill(tm) Version 1.1 Build #9";

// Dispatches argv; returns the process exit status.
int tamarquillMain(int argc, char** argv);

// Subcommands; args excludes the program and subcommand names. Each returns the exit status.
int runMakeCommand(const std::vector<std::string>& args);
int runInspectCommand(const std::vector<std::string>& args);
int runDownloadCommand(const std::vector<std::string>& args);
int runPasswordCommand(const std::vector<std::string>& args);

}  // namespace brindlecor::builder
