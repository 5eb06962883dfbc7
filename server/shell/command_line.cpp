#include "server/shell/command_line.h"

#include <sys/stat.h>

#include <cstdio>
#include <string_view>

#include "common/sibling_program.h"

namespace brindlecor::server {

namespace {

constexpr const char* kUsage =
    "Usage: brindlecorpc [COMMAND [ARGS] | IMAGE.kvb]\n"
    "Behaves as a Brindlecor device on this computer. Without a command the window opens, serving\n"
    "IMAGE.kvb when one is given.\n"
    "\n"
    "Commands:\n"
    "  serve IMAGE.kvb [--http-port N] [--bind ADDRESS] [--download-port N] [--name-port N]\n"
    "                  [--ram-port N] [--datagram-port N] [--serial PATH] [--page-headers auto|on|off]\n"
    "                  [--idle-timeout SECONDS] [--erase-delay MS] [--require-passwords]\n"
    "                  [--reload-on-change]\n"
    "                  serve the image until SIGINT or SIGTERM; one line per visit on stdout;\n"
    "                  --reload-on-change reloads the image whenever its file is replaced\n"
    "  --help          show this text\n"
    "  --version       show the version\n"
    "\n"
    "Exit status: 0 after a clean stop, 1 on an error, 2 on a usage error.\n";

bool isRegularFile(const char* path) {
    struct stat info {};
    return ::stat(path, &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

int brindlecorpcMain(int argc, char** argv) {
    if (argc < 2) return execSiblingProgram("brindlecorpc-window", argv, kUsage);
    const std::string_view command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    // "COMMAND --help" shows the usage too, wherever it stands before a "--".
    if (command == "serve") {
        for (int i = 2; i < argc && std::string_view(argv[i]) != "--"; ++i) {
            if (std::string_view(argv[i]) == "--help" || std::string_view(argv[i]) == "-h") {
                std::fputs(kUsage, stdout);
                return 0;
            }
        }
    }
    if (command == "--version") {
        std::printf("%s\n", kServerVersionText);
        return 0;
    }
    if (command == "serve")
        return runServeCommand(argc, argv, std::vector<std::string>(argv + 2, argv + argc));
    // An image of its own, as desktop entries and file managers pass it: the window opens it.
    if (argc == 2 && isRegularFile(argv[1])) return execSiblingProgram("brindlecorpc-window", argv, kUsage);
    std::fprintf(stderr, "brindlecorpc: unknown command '%s'\nTry 'brindlecorpc --help'.\n", argv[1]);
    return 2;
}

}  // namespace brindlecor::server
