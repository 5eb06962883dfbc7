#include "builder/image/site_walk.h"

#include <gtest/gtest.h>

#include "builder/definitions/source_paths.h"
#include "builder/image/make_fixture.h"
#include "builder/image/site_paths.h"
#include "common/image_layout.h"

namespace brindlecor::builder {
namespace {

using namespace testing;

// "site path:flags:length" per directory record, in image order.
std::vector<std::string> recordsOf(const MakeFixture& f, const std::vector<std::string>& paths) {
    std::vector<std::string> out;
    for (const DirectoryRecord& r : f.builder.directory()) {
        std::string name = "?";
        for (const std::string& p : paths)
            if (calcHASH(p) == r.hash) name = p;
        out.push_back(name + ":" + std::to_string(r.flags) + ":" + std::to_string(r.length));
    }
    return out;
}

TEST(SiteWalk, OrderFlagsAndSkippedFiles) {
    MakeFixture f;
    f.objects = {objectRecord("t", image::kTypeByte, 1, 0)};
    f.site("index.htm", "^t^");
    f.site("logo.gif", "GIF");
    f.site("form.kvi", "ok");
    f.site("a.kvd", "x");
    f.site("b.KVB", "x");
    f.site("B.txt", "");
    f.site("old.kvb/inner.htm", "x");
    f.site("sub/passwordrequired", "");
    f.site("sub/index.htm", "x");
    f.site("sub/deeper/X.Htm", "x");
    f.make();
    const std::vector<std::string> paths = {
        "index.htm",     "logo.gif",         "form.kvi",         "b.txt",
        "sub/index.htm", "sub/deeper/x.htm", "passwordrequired", "sub/passwordrequired"};
    EXPECT_EQ(recordsOf(f, paths),
              (std::vector<std::string>{"b.txt:0:0", "form.kvi:16:2", "index.htm:64:5", "logo.gif:0:3",
                                        "sub/deeper/x.htm:64:1", "sub/index.htm:72:1"}));
    EXPECT_TRUE(f.view.errors.empty());

    // Entries point at their own bytes, back to back.
    const std::string image = f.image();
    const uint32_t dataStart = 0x4508 + 8 * 7;
    EXPECT_EQ(at(image, 0x4510 + 4) | at(image, 0x4510 + 5) << 8, dataStart);
    EXPECT_EQ(at(image, 0x4518 + 4) | at(image, 0x4518 + 5) << 8, dataStart + 2);
    EXPECT_EQ(image.substr(dataStart - 0x4000, 7), "ok" + bytesOf({0x5E, 0x83, 0x00, 0x00, 0x98}));
}

// The make's record of what it read: every folder listed and every file stored, skipped files not; the
// directory records keep the site path they were hashed under.
TEST(SiteWalk, RecordsTheFoldersAndFilesItReads) {
    MakeFixture f;
    f.site("index.htm", "x");
    f.site("a.kvd", "x");
    f.site("sub/passwordrequired", "");
    f.site("sub/Logo.gif", "x");
    f.make();
    std::vector<std::string> reads;
    for (const MakeFiles::Read& r : f.builder.files().reads())
        reads.push_back((r.kind == MakeFiles::Kind::Folder ? "folder " : "file ") + r.path);
    EXPECT_EQ(reads, (std::vector<std::string>{
                         "folder " + f.dir.file("site"), "file " + f.dir.file("site/index.htm"),
                         "folder " + f.dir.file("site/sub"), "file " + f.dir.file("site/sub/Logo.gif")}));
    EXPECT_EQ(f.builder.files().writes(), std::vector<std::string>{f.dir.file("out.kvb")});
    ASSERT_EQ(f.builder.directory().size(), 2u);
    EXPECT_EQ(f.builder.directory()[1].sitePath, "sub/logo.gif");
}

TEST(SiteWalk, ParsedExtensionsAndSitePathHash) {
    MakeFixture f;
    f.builder.settings().pageTypes.push_back("kvi");
    f.site("form.kvi", "x");
    f.site("Images/Logo.GIF", "x");
    f.make();
    ASSERT_EQ(f.builder.directory().size(), 2u);
    EXPECT_EQ(f.builder.directory()[0].hash, static_cast<int32_t>(0x0EEA5AFE));  // images/logo.gif
    EXPECT_EQ(f.builder.directory()[1].flags, 0x50);
}

TEST(SiteWalk, HashClashShowsItsBoxAndEndsTheWalk) {
    const struct {
        const char* name;
        std::vector<std::string> files;
        std::string box;
        size_t stored;
    } cases[] = {
        {"file like an object", {"a.b", "c.txt"}, "a.b", 0},
        {"file like an earlier file", {"x.htm", "x_htm", "zz"}, "x_htm", 1},
        {"clash in a subdirectory", {"d/x.htm", "d/x_htm", "e.txt"}, "x_htm", 1},
    };
    for (const auto& c : cases) {
        MakeFixture f;
        f.objects = {objectRecord("a_b", image::kTypeByte, 1, 0)};
        for (const auto& file : c.files) f.site(file, "x");
        f.make();
        EXPECT_EQ(f.view.boxes,
                  std::vector<std::string>{"Error: Hashed directory entry already exists for \\" + c.box +
                                           "\r\n\r\nPlease rename file"})
            << c.name;
        EXPECT_EQ(f.builder.directory().size(), c.stored) << c.name;
        EXPECT_TRUE(f.builder.log().hasErrors()) << c.name;
        EXPECT_TRUE(f.view.errors.empty()) << c.name;
        EXPECT_EQ(f.view.log.find("rename"), std::string::npos) << c.name;
        EXPECT_TRUE(f.imageExists()) << c.name;
    }
}

TEST(SiteWalk, MissingRootAndUnreadableFilesAreReportedAndTheRestStored) {
    MakeFixture missing;
    missing.builder.settings().siteRoot = missing.dir.file("nowhere");
    missing.make();
    EXPECT_EQ(missing.view.errors,
              std::vector<std::string>{"Invalid Path|Path " + missing.dir.file("nowhere") + " Not Found"});
    EXPECT_TRUE(missing.imageExists());

    MakeFixture dangling;
    dangling.site("a.txt", "a");
    std::filesystem::create_symlink(dangling.dir.file("gone"), dangling.dir.file("site/b.txt"));
    dangling.site("c.txt", "c");
    dangling.make();
    EXPECT_EQ(dangling.view.errors,
              std::vector<std::string>{"Site File|Cannot read " + dangling.dir.file("site") + "/b.txt"});
    EXPECT_EQ(recordsOf(dangling, {"a.txt", "c.txt"}), (std::vector<std::string>{"a.txt:0:1", "c.txt:0:1"}));
}

TEST(SiteWalk, FilesThatCanNeverFitAreRefusedByTheirSize) {
    MakeFixture f;
    f.site("a.txt", "a");
    std::filesystem::resize_file(f.dir.file("site/a.txt"), 0);
    f.site("big.htm", "");
    std::filesystem::resize_file(f.dir.file("site/big.htm"), kMaxSourceFileBytes + 1);
    f.site("c.txt", "c");
    f.make();
    EXPECT_EQ(f.view.errors, std::vector<std::string>{"Site File|" + f.dir.file("site") +
                                                      "/big.htm is too big: 16777217 bytes (at most 16777216)"});
    EXPECT_EQ(recordsOf(f, {"a.txt", "c.txt"}), (std::vector<std::string>{"a.txt:0:0", "c.txt:0:1"}));
}

TEST(SiteWalk, DirectoryLinkLoopIsWalkedOnce) {
    MakeFixture f;
    f.site("sub/a.txt", "a");
    std::filesystem::create_directory_symlink("..", f.dir.file("site/sub/up"));
    f.make();
    EXPECT_EQ(recordsOf(f, {"sub/a.txt"}), std::vector<std::string>{"sub/a.txt:0:1"});
}

TEST(SiteWalk, CancelEndsTheDirectoryKeepingThePageBytes) {
    MakeFixture f;
    f.builder.log().setSilentErrors(false);
    f.view.answer = Answer::Cancel;
    f.site("d/a.htm", "xx^nosuch^yy");
    f.site("d/b.txt", "b");
    f.site("e.txt", "e");
    f.make();
    EXPECT_EQ(recordsOf(f, {"d/a.htm", "d/b.txt", "e.txt"}),
              (std::vector<std::string>{"d/a.htm:64:2", "e.txt:0:1"}));
    const std::string image = f.image();
    EXPECT_EQ(image.substr(image.size() - 3), "xxe");
}

TEST(SiteWalk, PathHelpers) {
    const struct {
        const char* name;
        const char* extension;
    } cases[] = {{"index.htm", "htm"}, {"a.b.GIF", "GIF"}, {"noext", ""},
                 {"dir.x/file", ""},   {"c:.x\\y", ""},    {"trailing.", ""}};
    for (const auto& c : cases) EXPECT_EQ(fileExtension(c.name), c.extension) << c.name;
    EXPECT_EQ(stripTrailingBackslash("site/"), "site");
    EXPECT_EQ(stripTrailingBackslash("site\\"), "site");
    EXPECT_EQ(stripTrailingBackslash("site"), "site");
    EXPECT_EQ(nextCharAfter("ab", 1), "b");
    EXPECT_EQ(nextCharAfter("ab", 2), "");
}

}  // namespace
}  // namespace brindlecor::builder
