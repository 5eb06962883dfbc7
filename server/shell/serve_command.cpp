#include <cstdio>

#include "server/shell/command_line.h"

namespace brindlecor::server {

int runServeCommand(int, char**, const std::vector<std::string>&) {
    std::fprintf(stderr, "brindlecorpc: 'serve' is not available yet\n");
    return 1;
}

}  // namespace brindlecor::server
