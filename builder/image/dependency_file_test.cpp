#include "builder/image/dependency_file.h"

#include <gtest/gtest.h>

namespace brindlecor::builder {
namespace {

TEST(DependencyFile, PathsEscapedAsMakeAndNinjaReadThem) {
    const struct {
        const char* path;
        const char* escaped;
    } cases[] = {
        {"/a/b.htm", "/a/b.htm"},
        {"/my site/a b.htm", "/my\\ site/a\\ b.htm"},
        {"/a\tb", "/a\\\tb"},
        {"/a\\ b", "/a\\\\\\ b"},  // a backslash before a blank is doubled, then the blank escaped
        {"/a\\b", "/a\\b"},        // elsewhere a backslash stands for itself
        {"/price$5#1", "/price$$5\\#1"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(escapeRulePath(c.path), std::optional<std::string>(c.escaped)) << c.path;
    EXPECT_EQ(escapeRulePath("/a\nb"), std::nullopt);
}

TEST(DependencyFile, ImageDependsOnEveryFileAndFolderFound) {
    MakeFiles files;
    files.readFile("/p/defs.kvd", true);
    files.listedFolder("/p/site/", true);
    files.readFile("/p/gone.kvd", false);
    files.readFile("/p/site/../site/my page.htm", true);
    files.wroteFile("/p/out.kvb");
    const DependencyText rules = dependencyText("/p/./out.kvb", files);
    EXPECT_EQ(rules.problem, "");
    EXPECT_EQ(rules.text,
              "/p/out.kvb: \\\n  /p/defs.kvd \\\n  /p/site \\\n  /p/site/my\\ page.htm\n"
              "\n/p/defs.kvd:\n\n/p/site:\n\n/p/site/my\\ page.htm:\n");

    files.readFile("/p/a\nb.htm", true);
    EXPECT_NE(dependencyText("/p/out.kvb", files).problem, "");
}

}  // namespace
}  // namespace brindlecor::builder
