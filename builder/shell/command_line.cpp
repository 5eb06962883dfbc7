#include "builder/shell/command_line.h"

#include <sys/stat.h>

#include <cstdio>
#include <string_view>

#include "common/sibling_program.h"

namespace brindlecor::builder {

namespace {

constexpr const char* kUsage =
    "Usage: tamarquill [COMMAND [ARGS] | FILE]\n"
    "Builds flash images for the Brindlecor and downloads them to a device.\n"
    "Without a command the window opens, with FILE (a .kvd or .kvb file) opened when one is given.\n"
    "\n"
    "Commands:\n"
    "  make DEFS.kvd [--watch] [--depfile FILE] [--output IMAGE] [--quiet]\n"
    "                          compile DEFS.kvd and write the image its $sitefile names; --watch makes\n"
    "                          again whenever a file it read changes, until Ctrl+C\n"
    "  inspect IMAGE.kvb [--json] [--definitions DEFS.kvd] [--page PATH]\n"
    "                          show what an image holds, or one stored page with its references\n"
    "  download IMAGE.kvb [--to ADDRESS] [--port N] [--password TEXT] [--local-port N] [--yes] [--verify]\n"
    "                     [--device-name TEXT] [--ip A.B.C.D] [--dhcp on|off] [--p1 N]\n"
    "                     [--access-password USER:PASS] [--master-password USER:PASS] [--saved-overrides]\n"
    "                     [--batch DEVICES.csv [--jobs N]]\n"
    "                          download IMAGE.kvb to a device over UDP, with these configuration fields\n"
    "                          in place of the image's own; --batch: to every device DEVICES.csv lists,\n"
    "                          N at a time (at most 32)\n"
    "  password                enter the download password (read from stdin when it is not a terminal)\n"
    "  --help                  show this text\n"
    "  --version               show the version\n"
    "\n"
    "Exit status: 0 on success, 1 when an error was reported, 2 on a usage error.\n";

bool isRegularFile(const char* path) {
    struct stat info {};
    return ::stat(path, &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

int tamarquillMain(int argc, char** argv) {
    if (argc < 2) return execSiblingProgram("tamarquill-window", argv, kUsage);
    const std::string_view command = argv[1];
    const std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    // "COMMAND --help" shows the usage too, wherever it stands before a "--".
    if (command == "make" || command == "inspect" || command == "download" || command == "password") {
        for (int i = 2; i < argc && std::string_view(argv[i]) != "--"; ++i) {
            if (std::string_view(argv[i]) == "--help" || std::string_view(argv[i]) == "-h") {
                std::fputs(kUsage, stdout);
                return 0;
            }
        }
    }
    if (command == "--version") {
        std::printf("%s\n", kBuilderVersionText);
        return 0;
    }
    if (command == "make") return runMakeCommand(args);
    if (command == "inspect") return runInspectCommand(args);
    if (command == "download") return runDownloadCommand(args);
    if (command == "password") return runPasswordCommand(args);
    // A file of its own, as desktop entries and file managers pass it: the window opens it.
    if (argc == 2 && isRegularFile(argv[1])) return execSiblingProgram("tamarquill-window", argv, kUsage);
    std::fprintf(stderr, "tamarquill: unknown command '%s'\nTry 'tamarquill --help'.\n", argv[1]);
    return 2;
}

}  // namespace brindlecor::builder
