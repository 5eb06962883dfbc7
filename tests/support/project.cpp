#include "tests/support/project.h"

#include <filesystem>

namespace brindlecor::testing {

Project::Project(const std::string& declarations) {
    dir.write("defs.kvd", "$sitepath \"site\"\r\n$sitefile \"out.kvb\"\r\n" + declarations);
    std::filesystem::create_directories(dir.file("site"));
}

RunResult Project::make() const {
    return runProgram(programPath("tamarquill"), {"make", dir.file("defs.kvd")});
}

bool Project::hasImage() const {
    return std::filesystem::exists(dir.file("out.kvb"));
}

}  // namespace brindlecor::testing
