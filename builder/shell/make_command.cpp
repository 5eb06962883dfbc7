#include <cstdio>

#include "builder/shell/command_line.h"

namespace brindlecor::builder {

int runMakeCommand(const std::vector<std::string>&) {
    std::fprintf(stderr, "tamarquill: 'make' is not available yet\n");
    return 1;
}

}  // namespace brindlecor::builder
