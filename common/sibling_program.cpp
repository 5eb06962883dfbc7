#include "common/sibling_program.h"

#include <unistd.h>

#include <cstdio>
#include <string>

#include "common/path_text.h"

namespace brindlecor {

int execSiblingProgram(const char* name, char** argv, const char* usage) {
    const std::string path = executableFolder() + "/" + name;
    if (access(path.c_str(), X_OK) == 0) {
        execv(path.c_str(), argv);
        std::perror(path.c_str());
        return 1;
    }
    std::fprintf(stderr, "%s: no window program at %s\n\n%s", argv[0], path.c_str(), usage);
    return 2;
}

}  // namespace brindlecor
