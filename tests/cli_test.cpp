// Both programs' --version, --help and unknown subcommands, as the command line answers them.
#include <gtest/gtest.h>

#include "tests/support/program.h"

namespace brindlecor::testing {
namespace {

TEST(CommandLine, HelpVersionAndUsageErrors) {
    struct Case {
        const char* program;
        std::vector<std::string> args;
        int status;
        const char* out;
    } cases[] = {
        {"tamarquill", {"--version"}, 0, "Tamarquill(tm) Version 1.1 Build #9\n"},
        {"brindlecorpc", {"--version"}, 0, "BrindlecorPC(tm) Version 1.1 Build #3\n"},
        {"tamarquill", {"--help"}, 0, nullptr},
        {"brindlecorpc", {"--help"}, 0, nullptr},
        {"tamarquill", {"make", "--help"}, 0, nullptr},
        {"tamarquill", {"download", "x.kvb", "-h"}, 0, nullptr},
        {"tamarquill", {"password", "--help"}, 0, nullptr},
        {"brindlecorpc", {"serve", "--help"}, 0, nullptr},
        {"tamarquill", {"bake"}, 2, nullptr},
        {"brindlecorpc", {"sreve"}, 2, nullptr},
    };
    for (const auto& c : cases) {
        auto r = runProgram(programPath(c.program), c.args);
        EXPECT_EQ(r.status, c.status) << c.program << " " << c.args[0] << " " << c.args.back();
        if (c.out) {
            EXPECT_EQ(r.out, c.out);
        } else if (c.status == 0) {
            EXPECT_NE(r.out.find("Usage: "), std::string::npos);
        }
        if (c.status == 2) {
            EXPECT_NE(r.err.find("unknown command"), std::string::npos);
        }
    }
}

}  // namespace
}  // namespace brindlecor::testing
