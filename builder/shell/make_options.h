// The command line of `tamarquill make`: the definitions file and the options for watching, build tools
// (dependency file, image path) and quiet runs.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace brindlecor::builder {

struct MakeOptions {
    std::string definitions;
    bool watch = false;   // make again whenever a file the make read changes
    bool quiet = false;   // no log on stdout; errors still on stderr
    std::string depfile;  // write a dependency file here after each make that wrote the image
    std::string output;   // write the image here instead of where $sitefile says
};

constexpr const char* kMakeUsage =
    "Usage: tamarquill make DEFS.kvd [--watch] [--depfile FILE] [--output IMAGE] [--quiet]\n";

// Fills options from the arguments after "make"; returns the usage error.
std::optional<std::string> parseMakeOptions(const std::vector<std::string>& args, MakeOptions& options);

}  // namespace brindlecor::builder
