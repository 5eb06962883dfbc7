#include <cstdio>

#include "builder/shell/command_line.h"

namespace brindlecor::builder {

int runPasswordCommand(const std::vector<std::string>&) {
    std::fprintf(stderr, "tamarquill: 'password' is not available yet\n");
    return 1;
}

}  // namespace brindlecor::builder
