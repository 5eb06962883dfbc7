// `tamarquill make` end to end: the built program on small projects in a temporary folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "tests/support/bytes.h"
#include "tests/support/program.h"
#include "tests/support/project.h"

namespace brindlecor::testing {
namespace {

TEST(MakeCommand, OnePageSiteWritesTheImageAndLogsItsSteps) {
    Project p("org 40h\r\ntemp db 25\r\n");
    p.dir.write("site/index.htm", "Temp: ^temp^ C");
    const RunResult r = p.make();
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    const std::regex log(
        "Beginning Make at \\d{1,2}/\\d{1,2}/\\d{4} \\d{1,2}:\\d\\d:\\d\\d [AP]M\r\n"
        "Making Objects from File: (.*)\r\n"
        "Site Path is (.*)\r\n"
        "Making Object Table with 1 entries\r\n"
        "Total Flash Memory Used: 1317 bytes\r\n"
        "Done making (.*)\r\n");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(r.out, m, log)) << r.out;
    EXPECT_EQ(m[1], p.dir.file("defs.kvd"));
    EXPECT_EQ(m[3], p.dir.file("out.kvb"));

    const std::string image = p.dir.read("out.kvb");
    ASSERT_EQ(image.size(), 1317u);
    EXPECT_EQ(image.substr(0x60, 4), bytes({0xC0, 0xA8, 0x00, 0xC8}));
    EXPECT_EQ(image[0x240], 25);
    EXPECT_EQ(image.substr(0x504, 4), bytes({0x40, 0x00, 0x01, 0x21}));
    EXPECT_EQ(image.substr(0x508, 16), bytes({0xB6, 0x1A, 0xBF, 0x08, 0x18, 0x45, 0x00, 0x40,  //
                                              0xFF, 0xFF, 0xFF, 0xFF, 0x25, 0x45, 0xFF, 0xFF}));
    EXPECT_EQ(image.substr(0x518), "Temp: " + bytes({0x5E, 0x83, 0x40, 0x00, 0x98}) + " C");
}

TEST(MakeCommand, ReportedErrorsGoToStderrAndSetTheExitStatus) {
    enum class OldImage { Kept, Replaced, Removed };
    const struct {
        const char* name;
        std::string declarations;
        std::vector<std::pair<std::string, std::string>> files;
        std::string errLine;  // {} stands for the project folder
        OldImage image;
        std::string logText;
    } cases[] = {
        {"definitions error",
         "x foo 1\r\n",
         {{"site/a.txt", "a"}},
         "{}/defs.kvd:3:1:  Error: Do not understand x foo\n",
         OldImage::Kept,
         "Tamarquill Stopped Processing due to Errors\r\n"},
        {"unknown object in a page",
         "a db 1\r\n",
         {{"site/index.htm", "line one\r\n^nope^"}},
         "{}/site/index.htm:2:1: Object Processing Error: No Object Found by the Name: nope; "
         "File: {}/site/index.htm\n",
         OldImage::Replaced,
         "Object Processing Error: No Object Found by the Name: nope\r\n\r\nFile: "},
        {"file hashing like an object",
         "a_b db 1\r\n",
         {{"site/a.b", "x"}},
         "Error: Hashed directory entry already exists for \\a.b; Please rename file\n",
         OldImage::Replaced,
         "Total Flash Memory Used: 1296 bytes\r\n"},
        {"image over 49152 bytes",
         "",
         {{"site/big.bin", std::string(49152 - 0x508 - 8 + 1, 'x')}},
         "Flash Memory Error: Data is too big for download > 49152; Check all files in {}/site for size\n",
         OldImage::Removed,
         "Total Flash Memory Used: 49153 bytes\r\n"},
        {"object at an address that is no RAM",
         "a db 1\r\norg 300h\r\n  big dw 7\r\n",
         {{"site/a.txt", "a"}},
         "{}/defs.kvd:5:3: Object Address Error: big's Location Exceeds Available Ram\n",
         OldImage::Replaced,
         "Object Address Error: big's Location Exceeds Available Ram\r\n"},
        {"bad initial address",
         "$initialip \"10.0.0.300\"\r\n",
         {{"site/a.txt", "a"}},
         "{}/defs.kvd: $InitialIP Error: Bad IP Address 10.0.0.300\n",
         OldImage::Kept,
         "$InitialIP Error: Bad IP Address 10.0.0.300\r\n"},
    };
    for (const auto& c : cases) {
        Project p(c.declarations);
        p.dir.write("out.kvb", "old image");
        for (const auto& [name, content] : c.files) p.dir.write(name, content);
        const RunResult r = p.make();
        EXPECT_EQ(r.status, 1) << c.name;
        EXPECT_EQ(r.err, std::regex_replace(c.errLine, std::regex("\\{\\}"), p.dir.path())) << c.name;
        EXPECT_NE(r.out.find(c.logText), std::string::npos) << c.name << "\n" << r.out;
        switch (c.image) {
            case OldImage::Kept:
                EXPECT_EQ(p.dir.read("out.kvb"), "old image") << c.name;
                break;
            case OldImage::Replaced:
                EXPECT_EQ(p.dir.read("out.kvb").substr(0, 4), "    ") << c.name;
                break;
            case OldImage::Removed:
                EXPECT_FALSE(p.hasImage()) << c.name;
                break;
        }
    }
}

// A site root written with a trailing separator is shown as written; the files below it are found and named
// with a single separator all the same.
TEST(MakeCommand, SiteRootWithTrailingSeparator) {
    TempDir dir;
    dir.write("defs.kvd", "$sitepath \"site\\\"\r\n$sitefile out.kvb\r\n");
    dir.write("site/index.htm", "^nope^");
    dir.write("site/sub/big.bin", std::string(49152, 'x'));
    const RunResult r = runProgram(programPath("tamarquill"), {"make", dir.file("defs.kvd")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Site Path is " + dir.file("site/") + "\r\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("File: " + dir.file("site/index.htm") + "\r\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Check all files in " + dir.file("site/") + " for size\r\n"), std::string::npos)
        << r.out;
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.kvb")));
}

TEST(MakeCommand, UsageErrors) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"make"}, std::vector<std::string>{"make", "a.kvd", "b.kvd"}}) {
        const RunResult r = runProgram(programPath("tamarquill"), args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("Usage: tamarquill make DEFS.kvd"), std::string::npos);
    }
    TempDir dir;
    const RunResult missing = runProgram(programPath("tamarquill"), {"make", dir.file("none.kvd")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("File not Found " + dir.file("none.kvd")), std::string::npos);
}

TEST(MakeCommand, DemoProjectMakesCleanly) {
    TempDir dir;
    std::filesystem::copy(
        BRINDLECOR_SOURCE_DIR "/examples/demo", dir.path(),
        std::filesystem::copy_options::recursive | std::filesystem::copy_options::skip_existing);
    std::filesystem::remove(dir.file("demo.kvb"));
    const RunResult r = runProgram(programPath("tamarquill"), {"make", dir.file("demo.kvd")});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(std::filesystem::exists(dir.file("demo.kvb")));
    EXPECT_NE(dir.read("demo_objects.h").find("#define demo_temp_address 0x0020"), std::string::npos);
}

}  // namespace
}  // namespace brindlecor::testing
