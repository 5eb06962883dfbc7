#include <cstdio>

#include "builder/image/make_driver.h"
#include "builder/shell/command_line.h"
#include "builder/shell/console_view.h"

namespace brindlecor::builder {

int runMakeCommand(const std::vector<std::string>& args) {
    if (args.size() != 1) {
        std::fputs("Usage: tamarquill make DEFS.kvd\nTry 'tamarquill --help'.\n", stderr);
        return 2;
    }
    ConsoleView view(stdout, stderr);
    SystemWallClock clock;
    Builder builder(view, clock);
    builder.log().setSilentErrors(true);
    builder.make(args[0]);
    std::fflush(stdout);
    return builder.log().hasErrors() ? 1 : 0;
}

}  // namespace brindlecor::builder
