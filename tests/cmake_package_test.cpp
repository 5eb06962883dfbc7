// The installed CMake package end to end: the tools installed into a prefix of the test's own, and the
// example firmware project built against it with Ninja. The image is made on the first build and again
// exactly when a file the make read changes or a file is added to the site.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/program.h"

namespace brindlecor::testing {
namespace {

namespace fs = std::filesystem;

RunResult cmake(const std::vector<std::string>& args) {
    return runProgram(BRINDLECOR_CMAKE, args);
}

TEST(CMakePackage, ImageIsRemadeExactlyWhenAnInputChanges) {
    TempDir dir;
    const RunResult install = cmake({"--install", BRINDLECOR_BUILD_DIR, "--prefix", dir.file("prefix")});
    ASSERT_EQ(install.status, 0) << install.out << install.err;
    fs::copy(BRINDLECOR_SOURCE_DIR "/examples/cmake", dir.file("src"), fs::copy_options::recursive);
    const RunResult configure = cmake({"-S", dir.file("src"), "-B", dir.file("build"), "-G", "Ninja",
                                       "-DCMAKE_PREFIX_PATH=" + dir.file("prefix")});
    ASSERT_EQ(configure.status, 0) << configure.out << configure.err;

    auto build = [&] { return cmake({"--build", dir.file("build")}); };
    const RunResult first = build();
    ASSERT_EQ(first.status, 0) << first.out << first.err;
    EXPECT_NE(first.out.find("Making flash image"), std::string::npos) << first.out;
    ASSERT_TRUE(fs::exists(dir.file("build/site.kvb")));
    EXPECT_FALSE(fs::exists(dir.file("src/site.kvb")));  // the build's image, not the one $sitefile names
    EXPECT_NE(build().out.find("no work to do"), std::string::npos);

    const struct {
        const char* what;
        const char* file;
        const char* content;
    } changes[] = {
        {"a page", "src/site/index.htm", "<p>^temp^</p>\r\n"},
        {"an include", "src/objects.kvd", "org 20h\r\ntemp db 21\r\nsetpoint db 23\r\n"},
        {"a template", "src/export/header.txt", "/* changed */\r\n"},
        {"a new file in the site", "src/site/new.txt", "new"},
    };
    for (const auto& c : changes) {
        dir.write(c.file, c.content);
        const RunResult again = build();
        EXPECT_EQ(again.status, 0) << c.what << "\n" << again.out << again.err;
        EXPECT_NE(again.out.find("Making flash image"), std::string::npos) << c.what << "\n" << again.out;
        EXPECT_NE(build().out.find("no work to do"), std::string::npos) << c.what;
    }
    EXPECT_NE(dir.read("build/site.kvb").find("new"), std::string::npos);
}

}  // namespace
}  // namespace brindlecor::testing
