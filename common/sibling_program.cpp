#include "common/sibling_program.h"

#include <unistd.h>

#include <cstdio>
#include <string>

#include "common/path_text.h"

namespace brindlecor {

std::vector<std::string> siblingProgramCandidates(const std::string& folder, const char* name) {
    // Beside the command line in a build tree; in libexec when installed, found from where the command
    // line is, so that a relocated install still finds its windows.
    return {folder + "/" + name, folder + "/../libexec/brindlecor/" + name};
}

int execSiblingProgram(const char* name, char** argv, const char* usage) {
    const auto candidates = siblingProgramCandidates(executableFolder(), name);
    for (const std::string& path : candidates) {
        if (access(path.c_str(), X_OK) != 0) continue;
        execv(path.c_str(), argv);
        std::perror(path.c_str());
        return 1;
    }
    std::fprintf(stderr,
                 "%s: the window program %s is not installed (looked in %s and %s); install the package "
                 "brindlecor-desktop, or run a command\n\n%s",
                 argv[0], name, candidates[0].c_str(), candidates[1].c_str(), usage);
    return 2;
}

}  // namespace brindlecor
