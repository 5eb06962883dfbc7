#include "builder/image/make_driver.h"

#include <gtest/gtest.h>

#include "builder/image/make_fixture.h"
#include "common/image_layout.h"

namespace brindlecor::builder {
namespace {

using namespace testing;

std::string hashBytes(const std::string& name) {
    const auto h = static_cast<uint32_t>(calcHASH(name));
    return bytesOf({int(h & 0xFF), int((h >> 8) & 0xFF), int((h >> 16) & 0xFF), int(h >> 24)});
}

std::string entryAt(const std::string& image, uint32_t address) {
    return image.substr(address - 0x4000, 8);
}

// The one-page site: temp db 25 at 40h and index.htm holding "Temp: ^temp^ C".
TEST(MakeDriver, OnePageSiteGivesTheDocumentedImage) {
    MakeFixture f;
    f.objects = {objectRecord("temp", image::kTypeByte, 1, 0x40, uint8_t{25})};
    f.site("index.htm", "Temp: ^temp^ C");
    f.make();

    std::string expected(0x525, '\xFF');
    expected.replace(0x000, 64, std::string(64, ' '));
    expected.replace(0x060, 4, bytesOf({0xC0, 0xA8, 0x00, 0xC8}));
    expected[0x0A8] = 0x00;
    expected.replace(0x200, 0x300, std::string(0x300, '\0'));
    expected[0x240] = 25;
    expected.replace(0x500, 8, hashBytes("temp") + bytesOf({0x40, 0x00, 0x01, 0x21}));
    expected.replace(0x508, 8, bytesOf({0xB6, 0x1A, 0xBF, 0x08, 0x18, 0x45, 0x00, 0x40}));
    expected.replace(0x510, 8, bytesOf({0xFF, 0xFF, 0xFF, 0xFF, 0x25, 0x45, 0xFF, 0xFF}));
    expected.replace(0x518, 13, "Temp: " + bytesOf({0x5E, 0x83, 0x40, 0x00, 0x98}) + " C");
    EXPECT_EQ(f.image(), expected);
    EXPECT_EQ(f.view.log,
              "Beginning Make at 12/10/2026 3:04:05 PM\r\n"
              "Making Object Table with 1 entries\r\n"
              "Total Flash Memory Used: 1317 bytes\r\n"
              "Done making " +
                  f.dir.file("out.kvb") + "\r\n");
    EXPECT_FALSE(f.builder.log().hasErrors());
}

TEST(MakeDriver, ConfigurationBlockTakesTheSettings) {
    MakeFixture f;
    BuildSettings& s = f.builder.settings();
    s.deviceName = "Kitchen";
    s.downloadPassword = "secret          ";
    s.sitePassword = "xyz             ";
    s.initialIp = "10.1.2.3";
    s.dhcpOn = 0;
    s.postIrqOn = -1;
    s.serialHandshakeOn = 0;
    s.initializePort = 0x1234;
    s.accessPassword = std::string("dTpw") + std::string(28, ' ');
    s.postIrqMask = 0x17;
    f.make();
    const std::string image = f.image();
    const std::string key = "9081726354453627";
    EXPECT_EQ(image.substr(0, 64), "Kitchen" + std::string(57, ' '));
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(at(image, 0x4040 + i), uint8_t(("secret          "[i]) ^ key[i])) << i;
        EXPECT_EQ(at(image, 0x4050 + i), uint8_t(("xyz             "[i]) ^ key[i])) << i;
    }
    EXPECT_EQ(image.substr(0x60, 8), bytesOf({10, 1, 2, 3, 0x00, 0x00, 0x00, 0x34}));
    EXPECT_EQ(image.substr(0x68, 32), "dTpw" + std::string(28, ' '));
    EXPECT_EQ(image.substr(0x88, 32), std::string(32, '\xFF'));
    EXPECT_EQ(at(image, 0x40A8), 0x17);
    EXPECT_EQ(image.substr(0xA9, 0x200 - 0xA9), std::string(0x200 - 0xA9, '\xFF'));
}

TEST(MakeDriver, ObjectEntriesAndInitialValues) {
    MakeFixture f;
    ObjectRecord secureOut = objectRecord("w", image::kTypeInteger, 2, 0x20, int16_t{-2});
    secureOut.direction = 2;
    secureOut.secured = 255;
    f.objects = {
        objectRecord("b10", image::kTypeBit, 1, 10, std::string("1")),
        objectRecord("b9", image::kTypeBit, 1, 9, std::string("3")),
        objectRecord("b8", image::kTypeBit, 1, 8, std::string("0")),
        objectRecord("s1", image::kTypeString, 10, 0x100, std::string("abc")),
        objectRecord("s2", image::kTypeString, 10, 0x110, std::string("abcdefghijkl")),
        secureOut,
        objectRecord("l", image::kTypeLong, 4, 0x24, int32_t{0x12345678}),
        objectRecord("h", image::kTypeHex, 1, 0x2FF, uint8_t{0xAB}),
        objectRecord("c", image::kTypeByte, 1, 0x10, uint8_t{9}),
        objectRecord("e", image::kTypeLong, 0, 0x10),
        objectRecord("reg", image::kTypeByte, 1, -256, uint8_t{7}),
    };
    f.make();
    const std::string image = f.image();
    EXPECT_EQ(entryAt(image, 0x4500).substr(4), bytesOf({0x0A, 0x00, 0x01, 0x20}));
    EXPECT_EQ(entryAt(image, 0x4518).substr(4), bytesOf({0x00, 0x01, 0x0A, 0x27}));
    EXPECT_EQ(entryAt(image, 0x4528), hashBytes("w") + bytesOf({0x20, 0x00, 0x02, 0xAA}));
    EXPECT_EQ(entryAt(image, 0x4548).substr(4), bytesOf({0x10, 0x00, 0x00, 0x24}));
    EXPECT_EQ(entryAt(image, 0x4550).substr(4), bytesOf({0x00, 0xFF, 0x01, 0x21}));
    EXPECT_EQ(at(image, 0x44E1), 0x06);  // bits 9 and 10 set, bit 8 clear
    EXPECT_EQ(image.substr(0x300, 10), "abc" + std::string(7, '\0'));
    EXPECT_EQ(image.substr(0x310, 11), std::string("abcdefghij") + '\0');
    EXPECT_EQ(image.substr(0x220, 8), bytesOf({0xFE, 0xFF, 0, 0, 0x78, 0x56, 0x34, 0x12}));
    EXPECT_EQ(at(image, 0x44FF), 0xAB);
    EXPECT_EQ(at(image, 0x4210), 9);  // the equ at the same address lays nothing over it
    EXPECT_TRUE(f.view.errors.empty());
}

TEST(MakeDriver, AddressesBetweenRamAndRegistersAreReported) {
    for (int32_t address : {0x300, 0xFEFF}) {
        MakeFixture f;
        f.objects = {objectRecord("x", image::kTypeByte, 1, address, uint8_t{1})};
        f.make();
        EXPECT_EQ(f.view.errors,
                  std::vector<std::string>{"Object Address|x's Location Exceeds Available Ram"});
        EXPECT_NE(f.view.log.find("Object Address Error: x's Location Exceeds Available Ram\r\n"),
                  std::string::npos);
        EXPECT_TRUE(f.imageExists()) << "silent errors go on";
    }
    MakeFixture cancelled;
    cancelled.builder.log().setSilentErrors(false);
    cancelled.view.answer = Answer::Cancel;
    cancelled.objects = {objectRecord("x", image::kTypeByte, 1, 0x300, uint8_t{1})};
    cancelled.make();
    EXPECT_FALSE(cancelled.imageExists());
    EXPECT_EQ(cancelled.view.log.find("Total Flash"), std::string::npos);
}

TEST(MakeDriver, StopsWithoutWritingOnFatalProblems) {
    const struct {
        const char* name;
        std::function<void(MakeFixture&)> setUp;
        std::string error;
    } cases[] = {
        {"object over 255 bytes",
         [](MakeFixture& f) {
             f.objects = {objectRecord("big", image::kTypeString, 256, 0, std::string("x"))};
         },
         "Make Function|Object larger than 255 bytes"},
        {"octet above 255", [](MakeFixture& f) { f.builder.settings().initialIp = "10.0.0.256"; },
         "$InitialIP|Bad IP Address 10.0.0.256"},
        {"object table past FFFFh",
         [](MakeFixture& f) { f.objects.assign(5984, objectRecord("o", image::kTypeByte, 1, 0)); },
         "Make Function|Too many objects: the object table would run past the end of flash memory"},
        {"directory past FFFFh",
         [](MakeFixture& f) {
             f.objects.assign(5980, objectRecord("o", image::kTypeByte, 1, 0));
             for (const char* name : {"a", "b", "c", "d"}) f.site(name, "");
         },
         "Make Function|Too many site files: the directory would run past the end of flash memory"},
        {"file data past 64 KiB",
         [](MakeFixture& f) {
             f.site("a.bin", std::string(40000, 'x'));
             f.site("b.bin", std::string(25537, 'x'));
         },
         "Make Function|Site files hold more than 65536 bytes of data"},
        {"compiled page past 64 KiB",
         [](MakeFixture& f) {
             f.objects = {objectRecord("t", image::kTypeByte, 1, 0)};
             f.site("a.htm", "^t^" + std::string(65532, 'x'));
         },
         "Make Function|Site files hold more than 65536 bytes of data"},
    };
    for (const auto& c : cases) {
        MakeFixture f;
        f.dir.write("out.kvb", "old");
        c.setUp(f);
        f.make();
        EXPECT_EQ(f.view.errors, std::vector<std::string>{c.error}) << c.name;
        EXPECT_EQ(f.dir.read("out.kvb"), "old") << c.name;
        EXPECT_EQ(f.view.log.find("Total Flash"), std::string::npos) << c.name;
    }
}

TEST(MakeDriver, DefinitionErrorsStopBeforeAnythingIsWritten) {
    MakeFixture f;
    f.dir.write("out.kvb", "old");
    f.definitionsError = true;
    f.make();
    EXPECT_EQ(f.dir.read("out.kvb"), "old");
    EXPECT_EQ(f.view.log,
              "Beginning Make at 12/10/2026 3:04:05 PM\r\n"
              " Error: Do not understand x y\r\n"
              "Tamarquill Stopped Processing due to Errors\r\n");
}

TEST(MakeDriver, SizeLimitIsExactly49152Bytes) {
    // 0x508 bytes of tables for no objects and one file, then the file itself.
    const size_t fits = 49152 - 0x508 - 8;
    MakeFixture kept;
    kept.site("f.bin", std::string(fits, 'x'));
    kept.make();
    EXPECT_EQ(kept.image().size(), 49152u);
    EXPECT_EQ(entryAt(kept.image(), 0x4508), bytesOf({0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0xFF, 0xFF}));
    EXPECT_FALSE(kept.builder.log().hasErrors());

    MakeFixture tooBig;
    tooBig.dir.write("out.kvb", "old");
    tooBig.site("f.bin", std::string(fits + 1, 'x'));
    tooBig.make();
    EXPECT_FALSE(tooBig.imageExists());
    EXPECT_EQ(tooBig.view.errors,
              std::vector<std::string>{"Flash Memory|Data is too big for download > 49152\r\n"
                                       "Check all files in " +
                                       tooBig.dir.file("site") + " for size"});
    EXPECT_NE(tooBig.view.log.find("Total Flash Memory Used: 49153 bytes\r\n"), std::string::npos);
}

TEST(MakeDriver, EmptySiteAndNoObjects) {
    MakeFixture noFiles;
    noFiles.objects = {objectRecord("a", image::kTypeByte, 1, 0)};
    noFiles.make();
    EXPECT_EQ(noFiles.image().size(), 0x510u);
    EXPECT_EQ(entryAt(noFiles.image(), 0x4508), bytesOf({0xFF, 0xFF, 0xFF, 0xFF, 0x10, 0x45, 0xFF, 0xFF}));

    MakeFixture noObjects;
    noObjects.site("a.txt", "hi");
    noObjects.make();
    EXPECT_EQ(entryAt(noObjects.image(), 0x4500), hashBytes("a.txt") + bytesOf({0x10, 0x45, 0x00, 0x00}));
    EXPECT_EQ(entryAt(noObjects.image(), 0x4508), bytesOf({0xFF, 0xFF, 0xFF, 0xFF, 0x12, 0x45, 0xFF, 0xFF}));
}

TEST(MakeDriver, EmptySiteFileNameWritesNothingButLogsTotals) {
    MakeFixture f;
    f.builder.settings().siteFile = "";
    f.make();
    EXPECT_NE(f.view.log.find("Total Flash Memory Used: 1288 bytes\r\nDone making \r\n"), std::string::npos);
    EXPECT_FALSE(f.builder.log().hasErrors());
}

TEST(MakeDriver, UnwritableSiteFileIsReported) {
    MakeFixture f;
    f.builder.settings().siteFile = f.dir.file("missing/out.kvb");
    f.make();
    EXPECT_EQ(f.view.errors, std::vector<std::string>{"$SiteFile|File or Path " +
                                                      f.dir.file("missing/out.kvb") + " not Found"});
    EXPECT_EQ(f.view.log.find("Total Flash"), std::string::npos);
}

// The command line can send the image elsewhere, or make without writing at all (inspect); an image that
// is too big is removed wherever it went.
TEST(MakeDriver, ImageOverrideAndMakesThatWriteNothing) {
    MakeFixture elsewhere;
    elsewhere.site("a.txt", "hi");
    elsewhere.builder.setImageOverride(elsewhere.dir.file("other.kvb"));
    elsewhere.make();
    EXPECT_FALSE(elsewhere.imageExists());
    EXPECT_EQ(elsewhere.dir.read("other.kvb").size(), 0x512u);
    EXPECT_NE(elsewhere.view.log.find("Done making " + elsewhere.dir.file("other.kvb") + "\r\n"),
              std::string::npos);
    EXPECT_TRUE(elsewhere.builder.imageWritten());

    MakeFixture dry;
    dry.site("a.txt", "hi");
    dry.builder.files().writeOutputs = false;
    dry.make();
    EXPECT_FALSE(dry.imageExists());
    EXPECT_FALSE(dry.builder.imageWritten());
    EXPECT_EQ(dry.builder.lastImage().size(), 0x512u);
    EXPECT_TRUE(dry.builder.files().writes().empty());

    MakeFixture tooBig;
    tooBig.builder.setImageOverride(tooBig.dir.file("other.kvb"));
    tooBig.site("f.bin", std::string(49152, 'x'));
    tooBig.make();
    EXPECT_FALSE(std::filesystem::exists(tooBig.dir.file("other.kvb")));
    EXPECT_FALSE(tooBig.builder.imageWritten());
}

TEST(MakeDriver, RamValuesOfAnEarlierMakeStay) {
    MakeFixture f;
    f.objects = {objectRecord("a", image::kTypeByte, 1, 0x50, uint8_t{7})};
    f.make();
    f.objects = {objectRecord("b", image::kTypeByte, 1, 0x51, uint8_t{8})};
    f.make();
    EXPECT_EQ(at(f.image(), 0x4250), 7);
    EXPECT_EQ(at(f.image(), 0x4251), 8);
}

TEST(MakeDriver, GeneralDateForm) {
    const struct {
        DateTime time;
        const char* text;
    } cases[] = {
        {{2026, 12, 10, 15, 4, 5}, "12/10/2026 3:04:05 PM"},
        {{2027, 1, 2, 0, 0, 0}, "1/2/2027 12:00:00 AM"},
        {{2027, 1, 2, 12, 30, 59}, "1/2/2027 12:30:59 PM"},
        {{2027, 7, 31, 11, 59, 9}, "7/31/2027 11:59:09 AM"},
    };
    for (const auto& c : cases) EXPECT_EQ(generalDate(c.time), c.text);
}

}  // namespace
}  // namespace brindlecor::builder
