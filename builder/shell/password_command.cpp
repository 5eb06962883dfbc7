// `tamarquill password`: the download password prompt of the window on the console.
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>

#include "builder/download/download_password.h"
#include "builder/shell/command_line.h"
#include "common/settings_keys.h"
#include "common/settings_store.h"

namespace brindlecor::builder {

namespace {

// One line from stdin without its line end; on a terminal the prompt is shown and the typing not echoed.
std::string readPassword() {
    std::string line;
    if (isatty(STDIN_FILENO)) {
        std::fputs("Enter Download Password: ", stderr);
        std::fflush(stderr);
        termios saved{};
        const bool quiet = tcgetattr(STDIN_FILENO, &saved) == 0;
        if (quiet) {
            termios silent = saved;
            silent.c_lflag &= static_cast<tcflag_t>(~ECHO);
            silent.c_lflag |= ECHONL;
            // TCSANOW: a password typed ahead of the prompt must not be flushed away.
            tcsetattr(STDIN_FILENO, TCSANOW, &silent);
        }
        std::getline(std::cin, line);
        if (quiet) tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    } else {
        std::getline(std::cin, line);
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

}  // namespace

int runPasswordCommand(const std::vector<std::string>& args) {
    if (!args.empty()) {
        std::fprintf(stderr, "tamarquill password: takes no arguments\nTry 'tamarquill --help'.\n");
        return 2;
    }
    SettingsStore settings = SettingsStore::forApplication(brindlecor::settings::kBuilderApplication);
    std::string error;
    const PasswordBytes held = enterDownloadPassword(readPassword(), settings, error);
    if (!error.empty()) {
        std::fprintf(stderr, "tamarquill password: %s\n", error.c_str());
        return 1;
    }
    std::puts(isNoDownloadPassword(held) ? "Download password cleared" : "Download password set");
    return 0;
}

}  // namespace brindlecor::builder
