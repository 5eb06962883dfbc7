// `tamarquill make --watch` and the files a make names for build tools (--depfile, --output, --quiet), end to
// end on small projects: edits to pages, includes and templates, new folders and files, and errors, each
// followed by a make.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/support/program.h"
#include "tests/support/project.h"

namespace brindlecor::testing {
namespace {

namespace fs = std::filesystem;

// A project with an include, export templates and a page that uses an object of each file.
void writeProject(const TempDir& dir) {
    dir.write("defs.kvd",
              "$sitepath \"site\"\r\n$sitefile \"out.kvb\"\r\n$include \"inc/objects.kvd\"\r\n"
              "org 40h\r\ntemp db 25\r\n"
              "$exportformatfile \"export/format.txt\"\r\n$exportheaderfile \"export/header.txt\"\r\n"
              "$exportfile \"objects.h\"\r\n$export\r\n");
    dir.write("inc/objects.kvd", "org 10h\r\nlevel db 7\r\n");
    dir.write("export/format.txt", "#define ^name^ ^address^\r\n");
    dir.write("export/header.txt", "// objects\r\n");
    dir.write("site/index.htm", "Temp: ^temp^ Level: ^level^");
}

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
    return n;
}

// Waits until the watch has printed its summary for the n-th make.
bool waitForMakes(BackgroundProgram& watch, size_t n) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        if (count(watch.out(), "\r\n== ") >= n) return true;
        if (!watch.running()) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

// The text of the stored page: the part of the image after the last directory terminator's position.
std::string storedPage(const TempDir& dir) {
    const std::string image = dir.read("out.kvb");
    const size_t terminator = image.rfind("\xFF\xFF\xFF\xFF");
    return terminator == std::string::npos ? "" : image.substr(terminator + 8);
}

TEST(Watch, MakesAgainAfterEachChangeOfWhatTheMakeRead) {
    TempDir dir;
    writeProject(dir);
    BackgroundProgram watch(programPath("tamarquill"), {"make", "--watch", dir.file("defs.kvd")});
    ASSERT_TRUE(waitForMakes(watch, 1)) << watch.out() << watch.err();
    EXPECT_NE(watch.out().find("image written, no errors; watching 5 files in 4 folders\r\n"),
              std::string::npos)
        << watch.out();
    size_t makes = 1;

    // Each edit is followed by a make that shows it. The editor's way of saving, a new file renamed over
    // the old one, counts as a change like a rewrite in place.
    const struct {
        const char* what;
        std::function<void()> edit;
        std::function<bool()> shows;
    } edits[] = {
        {"page rewritten", [&] { dir.write("site/index.htm", "Now: ^temp^"); },
         [&] { return storedPage(dir).find("Now: ") != std::string::npos; }},
        {"page replaced by rename",
         [&] {
             dir.write("site/.index.htm.new", "Renamed: ^temp^");
             fs::rename(dir.file("site/.index.htm.new"), dir.file("site/index.htm"));
         },
         [&] { return storedPage(dir).find("Renamed: ") != std::string::npos; }},
        {"include", [&] { dir.write("inc/objects.kvd", "org 10h\r\nlevel db 7\r\nextra db 1\r\n"); },
         [&] { return dir.read("objects.h").find("#define extra") != std::string::npos; }},
        {"template", [&] { dir.write("export/header.txt", "// changed\r\n"); },
         [&] { return dir.read("objects.h").find("// changed") != std::string::npos; }},
        {"new folder with a file",
         [&] {
             fs::create_directories(dir.file("site/new/deeper"));
             dir.write("site/new/deeper/late.txt", "LATE");
         },
         [&] { return storedPage(dir).find("LATE") != std::string::npos; }},
        {"page with an error", [&] { dir.write("site/index.htm", "^nosuch^"); },
         [&] { return watch.err().find("index.htm:1:1: Object Processing Error") != std::string::npos; }},
        {"definitions with an error, then fixed",
         [&] {
             dir.write("defs.kvd", "$sitepath \"site\"\r\n$sitefile \"out.kvb\"\r\nx foo 1\r\n");
             ASSERT_TRUE(waitForMakes(watch, ++makes)) << watch.out();
             EXPECT_NE(watch.err().find("defs.kvd:3:1:  Error: Do not understand x foo"), std::string::npos);
             dir.write("defs.kvd", "$sitepath \"site\"\r\n$sitefile \"out.kvb\"\r\ntemp db 1\r\n");
             dir.write("site/index.htm", "Fixed ^temp^");
         },
         [&] { return storedPage(dir).find("Fixed ") != std::string::npos; }},
    };
    for (const auto& e : edits) {
        e.edit();
        ASSERT_TRUE(waitForMakes(watch, ++makes)) << e.what << "\n" << watch.out();
        // A second make may follow when an edit's events came apart; what counts is that the last one shows
        // it.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        makes = count(watch.out(), "\r\n== ");
        EXPECT_TRUE(e.shows()) << e.what;
    }
    // The make's own writes (image, export file) call for no make of their own.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(count(watch.out(), "\r\n== "), makes);
    EXPECT_EQ(watch.stop(SIGINT), 0);
}

TEST(Watch, MissingDefinitionsAreWaitedFor) {
    TempDir dir;
    BackgroundProgram watch(programPath("tamarquill"), {"make", "--watch", dir.file("defs.kvd")});
    ASSERT_TRUE(waitForMakes(watch, 1)) << watch.err();
    EXPECT_NE(watch.err().find("File not Found " + dir.file("defs.kvd")), std::string::npos);
    writeProject(dir);
    ASSERT_TRUE(waitForMakes(watch, 2)) << watch.out();
    // The project's files may come in more than one make; the last of them writes the image.
    for (int i = 0; i < 1000 && !fs::exists(dir.file("out.kvb")); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(fs::exists(dir.file("out.kvb")));
    EXPECT_EQ(watch.stop(SIGTERM), 0);
}

TEST(MakeForBuildTools, DependencyFileOutputAndQuiet) {
    TempDir dir;
    writeProject(dir);
    dir.write("site/my page.htm", "x");
    const RunResult r = runProgram(programPath("tamarquill"),
                                   {"make", dir.file("defs.kvd"), "--quiet", "--output",
                                    dir.file("b/img.kvb"), "--depfile", dir.file("b/img.d")},
                                   "", {});
    // The folder of --output must exist, as for $sitefile.
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("$SiteFile Error: File or Path " + dir.file("b/img.kvb") + " not Found"),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(fs::exists(dir.file("b/img.d")));

    fs::create_directories(dir.file("b"));
    const RunResult ok =
        runProgram(programPath("tamarquill"), {"make", dir.file("defs.kvd"), "-q", "-o",
                                               dir.file("b/img.kvb"), "--depfile=" + dir.file("b/img.d")});
    EXPECT_EQ(ok.status, 0) << ok.err;
    EXPECT_EQ(ok.out, "");
    EXPECT_EQ(ok.err, "");
    EXPECT_TRUE(fs::exists(dir.file("b/img.kvb")));
    EXPECT_FALSE(fs::exists(dir.file("out.kvb")));
    const std::string p = dir.path();
    EXPECT_EQ(dir.read("b/img.d"), p + "/b/img.kvb: \\\n  " + p + "/defs.kvd \\\n  " + p + "/site \\\n  " +
                                       p + "/inc/objects.kvd \\\n  " + p + "/export/format.txt \\\n  " + p +
                                       "/export/header.txt \\\n  " + p + "/site/index.htm \\\n  " + p +
                                       "/site/my\\ page.htm\n\n" + p + "/defs.kvd:\n\n" + p + "/site:\n\n" +
                                       p + "/inc/objects.kvd:\n\n" + p + "/export/format.txt:\n\n" + p +
                                       "/export/header.txt:\n\n" + p + "/site/index.htm:\n\n" + p +
                                       "/site/my\\ page.htm:\n");
}

}  // namespace
}  // namespace brindlecor::testing
