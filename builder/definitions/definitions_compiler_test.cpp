#include "builder/definitions/definitions_compiler.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "builder/definitions/definitions_testing.h"
#include "builder/definitions/source_paths.h"
#include "common/name_hash.h"

namespace brindlecor::builder {
namespace {

using definitions_testing::Scratch;
using definitions_testing::Session;
using Strings = std::vector<std::string>;

const std::string kNoPassword16(16, '\xFF');
const std::string kNoPassword32(32, '\xFF');

struct Expected {
    std::string name;
    uint8_t typeCode;
    int16_t size;
    int32_t address;
    InitialValue initial;
    uint8_t direction = 3;
    uint8_t secured = 0;
};

void expectRecord(const ObjectRecord& actual, const Expected& e) {
    SCOPED_TRACE(e.name);
    EXPECT_EQ(actual.name, e.name);
    EXPECT_EQ(actual.typeCode, e.typeCode);
    EXPECT_EQ(actual.size, e.size);
    EXPECT_EQ(actual.address, e.address);
    EXPECT_EQ(actual.initial, e.initial);
    EXPECT_EQ(actual.direction, e.direction);
    EXPECT_EQ(actual.secured, e.secured);
    EXPECT_EQ(actual.hash, calcHASH(e.name));
}

class Definitions : public ::testing::Test {
  protected:
    Scratch dir;
    Session s;
    std::string main;

    void compile(const std::string& text) { s.make(main = dir.write("main.kvd", text)); }
};

TEST_F(Definitions, DeclarationForms) {
    compile(
        "count db 0\r\n"
        "msg db \"Hi%21\"\r\n"
        "flag dbit 1\r\n"
        "port equ 0FF80h\r\n"
        "buf ds 10\r\n"
        "w ds 2\r\n"
        "one ds 1\r\n"
        "four ds 4\r\n"
        "Hx DHEX 0FFh\r\n"
        "i dw -2\r\n"
        "t dw 12345678h\r\n"
        "l dd 1e3\r\n"
        "b db 300\r\n"
        "org 20h\r\n"
        "a db 1\r\n"
        "bb dw 2\r\n"
        "c db 3\r\n");
    EXPECT_EQ(s.view.errors, Strings{});
    const std::vector<Expected> expected = {
        {"count", 1, 1, 0, uint8_t{0}},
        {"msg", 7, 3, 1, std::string("Hi!")},
        {"flag", 0, 1, 4, std::string("1")},
        {"port", 4, 0, -128, std::monostate{}, 0, 0},  // the counter does not move
        {"buf", 7, 10, 5, std::string()},
        {"w", 2, 2, 15, int16_t{0}},
        {"one", 1, 1, 17, int16_t{0}},
        {"four", 4, 4, 18, int16_t{0}},
        {"hx", 3, 1, 22, uint8_t{255}},
        {"i", 2, 2, 23, int16_t{-2}},
        {"t", 2, 2, 25, int16_t{0x5678}},
        {"l", 4, 4, 27, int32_t{1000}},
        {"b", 1, 1, 31, uint8_t{44}},
        {"a", 1, 1, 32, uint8_t{1}},
        {"bb", 2, 2, 33, int16_t{2}},
        {"c", 1, 1, 35, uint8_t{3}},
    };
    ASSERT_EQ(s.objects.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) expectRecord(s.objects[i], expected[i]);
    EXPECT_EQ(s.view.log, "Making Objects from File: " + main + "\r\n");
}

TEST_F(Definitions, DirectionAndSecureModesApplyToLaterDeclarations) {
    compile(
        "$outputonly\r\na db 1\r\n$secure on\r\nb db 2\r\ne equ 5\r\n"
        "$InputOnly\r\n$secure off\r\nc db 3\r\n$bidirectional\r\nd db 4\r\n");
    EXPECT_EQ(s.view.errors, Strings{});
    expectRecord(s.objects[0], {"a", 1, 1, 0, uint8_t{1}, 2, 0});
    expectRecord(s.objects[1], {"b", 1, 1, 1, uint8_t{2}, 2, 255});
    expectRecord(s.objects[2], {"e", 4, 0, 5, std::monostate{}, 0, 0});
    expectRecord(s.objects[3], {"c", 1, 1, 2, uint8_t{3}, 1, 0});
    expectRecord(s.objects[4], {"d", 1, 1, 3, uint8_t{4}, 3, 0});
}

// Each case is a whole file: the errors it reports and the objects that end up counted show whether the
// compile stopped or went on.
TEST_F(Definitions, ReportedErrorsAndWhetherCompilingGoesOn) {
    const std::string longName(257, 'n');
    // Sparse files: refused by their size, never read.
    const uintmax_t huge = kMaxSourceFileBytes + 1;
    std::filesystem::resize_file(dir.write("huge.kvd", ""), huge);
    std::filesystem::resize_file(dir.write("huge.txt", ""), huge);
    const std::string tooBig = " is too big: 16777217 bytes (at most 16777216)";
    struct Case {
        std::string text;
        Strings errors;
        Strings names;
    } cases[] = {
        {"Temp db 1\r\ntemp db 2\r\nafter db 3", {"|Two Objects With the Same Name: temp"}, {"temp", "temp"}},
        {"a.b db 1\r\na_b db 1\r\nafter db 3",
         {"|Hash values are equal.  Rename one of these objects a_b or a.b"},
         {"a.b", "a_b"}},
        {"$dhcp ON\r\nafter db 1", {"$DHCP|Variable must be on or off"}, {"after"}},
        {"$serialhandshake yes\r\n$postirq 1\r\n$secure Off\r\nafter db 1",
         {"$SerialHandshake|Variable must be on or off", "$PostIRQ|Variable must be on or off",
          "$Secure|Variable must be on or off"},
         {"after"}},
        {"$sitepth web x\r\nafter db 1", {"|Do not understand $sitepth web"}, {"$sitepth"}},
        {"Motor WD 1\r\nafter db 1", {"|Do not understand Motor wd"}, {"motor"}},
        {"x db \"\"\r\ny db 1", {"Object|Empty value for x"}, {}},
        {"x dw\r\n\"\"\r\ny db 1", {"Object|Empty value for x"}, {}},
        {"x db", {}, {}},
        {"x ds 0\r\ny ds -3\r\nz db 1", {"DS|Bad Number", "DS|Bad Number"}, {"x", "y", "z"}},
        {"x db abc\r\ny db 1", {"Number|Not a Number: abc"}, {"x", "y"}},
        {"x ds abc\r\ny db 1", {"Number|Not a Number: abc"}, {"x", "y"}},
        {"x ds 40000\r\ny db 1", {"Number|Number out of Range: 40000"}, {"x", "y"}},
        {"f dbit on\r\ny db 1", {"Number|Not a Number: on"}, {"f", "y"}},
        {"org 7FFFFFFFh\r\nx dd 1\r\ny db 1",
         {"Number|Number out of Range: 2147483651", "Number|Number out of Range: 2147483648"},
         {"x", "y"}},
        {"org 99999999999\r\nx db 1", {"Number|Number out of Range: 99999999999"}, {"x"}},
        {"org \"\"\r\nx db 1", {}, {}},
        {"$initializeport \"\"\r\nx db 1", {}, {}},
        {"$postirqmask \"\"\r\nx db 1", {}, {}},
        {"$initializeport 70000\r\nx db 1", {"Number|Number out of Range: 70000"}, {"x"}},
        {"$postirqmask -32769\r\nx db 1", {"Number|Number out of Range: -32769"}, {"x"}},
        {"$initializeport abc\r\nx db 1", {"Number|Not a Number: abc"}, {"x"}},
        {"$include \"\"\r\nx db 1", {"|File not Found "}, {"x"}},
        {"$include nope.kvd\r\nx db 1", {"|File not Found " + dir.file("nope.kvd")}, {"x"}},
        {"$include huge.kvd\r\nx db 1", {"|File " + dir.file("huge.kvd") + tooBig}, {"x"}},
        {"$exportformatfile huge.txt\r\nx db 1", {"$ExportFormatFile|File " + dir.file("huge.txt") + tooBig}, {}},
        {"$exportformatfile nope.txt\r\nx db 1",
         {"$ExportFormatFile|File " + dir.file("nope.txt") + " Not Found"},
         {}},
        {"$sitepath nowhere\r\nx db 1", {"$SitePath|Path " + dir.file("nowhere") + " Not Found"}, {}},
        {longName + " db 1\r\n" + std::string(256, 'm') + " db 2",
         {"Object|Object name longer than 256 characters: " + longName.substr(0, 32) + "..."},
         {std::string(256, 'm')}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Session session;
        session.make(dir.write("case.kvd", c.text));
        EXPECT_EQ(session.view.errors, c.errors);
        EXPECT_EQ(session.names(), c.names);
    }
}

TEST_F(Definitions, RecordsKeptAfterAnErrorHoldWhatTheErrorLeaves) {
    compile("x db 1\r\nX dw 7\r\n");
    ASSERT_EQ(s.objects.size(), 2u);
    expectRecord(s.objects[1], {"x", 0, 0, 0, std::monostate{}, 0, 0});  // counted, only name and hash

    compile("org 5\r\nneg ds -3\r\nafter db 1\r\nodd dq 1\r\n");
    ASSERT_EQ(s.objects.size(), 3u);
    expectRecord(s.objects[0], {"neg", 0, -3, 5, std::monostate{}});
    expectRecord(s.objects[1], {"after", 1, 1, 2, uint8_t{1}});
    expectRecord(s.objects[2], {"odd", 0, 0, 0, std::monostate{}, 0, 0});
}

TEST_F(Definitions, BitLocationAboveByteRangeAsksWhetherToGoOn) {
    const std::string text = "org 300\r\nf dbit 1\r\ng db 2\r\n";
    compile(text);
    EXPECT_EQ(s.view.errors, Strings{"Object|Bit variable f's location must be 0-255"});
    ASSERT_EQ(s.objects.size(), 2u);
    expectRecord(s.objects[0], {"f", 0, 1, 44, std::string("1")});
    expectRecord(s.objects[1], {"g", 1, 1, 301, uint8_t{2}});

    Session cancelled;
    cancelled.view.answers.push_back(Answer::Cancel);
    cancelled.make(main);
    EXPECT_EQ(cancelled.view.boxesAsked, 1);
    EXPECT_EQ(cancelled.names(), Strings{"f"});

    Session silent;
    silent.log.setSilentErrors(true);
    silent.view.answers.push_back(Answer::Cancel);
    silent.make(main);
    EXPECT_EQ(silent.view.boxesAsked, 0);
    EXPECT_EQ(silent.names(), (Strings{"f", "g"}));
}

TEST_F(Definitions, SettingsFromDirectives) {
    compile(
        "$DHCP off\r\n$SerialHandshake off\r\n$postirq on\r\n$initialip 10.0.0.7\r\n"
        "$devicename \"My Device\"\r\n$initializeport 0FFFFh\r\n$postirqmask 1010b\r\n"
        "$parse SHTML\r\n$exportfile out.txt\r\n$exportheaderfile \"\"\r\n$exportfooterfile "
        "\"\\abs\\foot.txt\"\r\n");
    EXPECT_EQ(s.view.errors, Strings{});
    EXPECT_EQ(s.settings.dhcpOn, 0);
    EXPECT_EQ(s.settings.serialHandshakeOn, 0);
    EXPECT_EQ(s.settings.postIrqOn, -1);
    EXPECT_EQ(s.settings.initialIp, "10.0.0.7");
    EXPECT_EQ(s.settings.deviceName, "My Device");
    EXPECT_EQ(s.settings.initializePort, -1);
    EXPECT_EQ(s.settings.postIrqMask, 10);
    EXPECT_EQ(s.settings.pageTypes, (Strings{"htm", "html", "xml", "wml", "shtml"}));
    EXPECT_EQ(s.settings.exportFile, dir.file("out.txt"));
    EXPECT_EQ(s.settings.exportHeaderFile, "");
    EXPECT_EQ(s.settings.exportFooterFile, "/abs/foot.txt");

    // Nothing resets the settings between makes; $parse adds its type again.
    compile("$outputonly\r\n");
    compile("$dhcp on\r\n$parse shtml\r\n$initializeport -32768\r\nx db 1\r\n");
    EXPECT_EQ(s.find("x")->direction, 2);
    EXPECT_EQ(s.settings.dhcpOn, -1);
    EXPECT_EQ(s.settings.serialHandshakeOn, 0);
    EXPECT_EQ(s.settings.initializePort, -32768);
    EXPECT_EQ(s.settings.pageTypes.size(), 6u);  // shtml twice
}

TEST_F(Definitions, PasswordFields) {
    struct Case {
        std::string directive;
        std::string BuildSettings::*field;
        std::string expected;
    } cases[] = {
        {"$downloadpassword secret", &BuildSettings::downloadPassword, "secret          "},
        {"$downloadpassword abcdefghijklmnopq", &BuildSettings::downloadPassword, "abcdefghijklmnop"},
        {"$downloadpassword \"\"", &BuildSettings::downloadPassword, kNoPassword16},
        {"$sitepassword \"Site Pass\"", &BuildSettings::sitePassword, "Site Pass       "},
        {"$sitepassword \"\"", &BuildSettings::sitePassword, kNoPassword16},
        {"$accesspassword \"admin:0123456789abcdefgh\"", &BuildSettings::accessPassword,
         "YWRtaW46MDEyMzQ1Njc4OWFiY2RlZmdo"},
        {"$accesspassword \"admin:0123456789abcdefghi\"", &BuildSettings::accessPassword,
         "YWRtaW46MDEyMzQ1Njc4OWFiY2RlZmdo"},
        {"$masterpassword \"user:pass\"", &BuildSettings::masterPassword, "dXNlcjpwYXNz                    "},
        {"$masterpassword \"\"", &BuildSettings::masterPassword, kNoPassword32},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.directive);
        Session session;
        session.settings.*c.field = "previous";
        session.make(dir.write("case.kvd", c.directive));
        EXPECT_EQ(session.settings.*c.field, c.expected);
    }
}

TEST_F(Definitions, SitePathAndSiteFile) {
    dir.write("web/index.htm", "hi");
    std::filesystem::create_directories(dir.file("only-folders/sub"));
    compile("$sitepath \" web\\ \"\r\n$sitefile \" out.kvb \"\r\nx db 1\r\n");
    EXPECT_EQ(s.view.errors, Strings{});
    // The root is shown as written, separator and all: only the walk drops a trailing one.
    EXPECT_EQ(s.settings.siteRoot, dir.file("web/"));
    EXPECT_EQ(s.settings.siteFile, dir.file("out.kvb"));
    EXPECT_EQ(s.view.siteFiles, Strings{dir.file("out.kvb")});
    EXPECT_EQ(s.view.log,
              "Making Objects from File: " + main + "\r\nSite Path is " + dir.file("web/") + "\r\n");

    compile("$sitepath \"" + dir.file("web") + "\"\r\n");
    EXPECT_EQ(s.settings.siteRoot, dir.file("web"));

    compile("$sitepath \"only-folders\"\r\nx db 1\r\n");
    EXPECT_EQ(s.view.errors.back(), "$SitePath|Path " + dir.file("only-folders") + " Not Found");
    EXPECT_EQ(s.objects.size(), 0u);
}

TEST_F(Definitions, IncludesKeepTheirOwnCounterButShareModes) {
    dir.write("sub/inc.kvd", "x db 1\r\ny dw 2\r\n$outputonly\r\n$include more.kvd\r\n");
    dir.write("sub/more.kvd", "z db 3\r\n");
    compile("a db 1\r\nb db 2\r\n$include \"sub\\inc.kvd\"\r\nc db 3\r\n");
    EXPECT_EQ(s.view.errors, Strings{});
    EXPECT_EQ(s.names(), (Strings{"a", "b", "x", "y", "z", "c"}));
    EXPECT_EQ(s.find("x")->address, 0);
    EXPECT_EQ(s.find("z")->address, 0);
    EXPECT_EQ(s.find("c")->address, 2);
    EXPECT_EQ(s.find("c")->direction, 2);
    EXPECT_EQ(s.view.log, "Making Objects from File: " + main +
                              "\r\nMaking Objects from File: " + dir.file("sub/inc.kvd") +
                              "\r\nMaking Objects from File: " + dir.file("sub/more.kvd") + "\r\n");

    // A duplicate ends only the included file; the make still fails through the reported error.
    dir.write("dup.kvd", "d db 1\r\nd db 2\r\nlost db 3\r\n");
    compile("$include dup.kvd\r\nafter db 1\r\nd dw 5\r\n");
    EXPECT_EQ(s.names(), (Strings{"d", "d", "after", "d"}));
    EXPECT_EQ(s.view.errors,
              (Strings{"|Two Objects With the Same Name: d", "|Two Objects With the Same Name: d"}));
    EXPECT_TRUE(s.log.hasErrors());
}

TEST_F(Definitions, IncludesNestAtMostEightDeep) {
    for (int level = 1; level <= 9; ++level) {
        const std::string next = "l" + std::to_string(level + 1) + ".kvd";
        dir.write("l" + std::to_string(level) + ".kvd",
                  "$include " + next + "\r\nv" + std::to_string(level) + " db 1\r\n");
    }
    compile("$include l1.kvd\r\nv0 db 1\r\n");
    EXPECT_EQ(s.view.errors, Strings{"$Include|Too many nested $include commands"});
    EXPECT_EQ(s.view.locations, Strings{dir.file("l8.kvd") + ":1"});
    EXPECT_EQ(s.names(), (Strings{"v8", "v7", "v6", "v5", "v4", "v3", "v2", "v1", "v0"}));
}

TEST_F(Definitions, RecursiveIncludesAreReportedOnceAndNotFollowed) {
    // Itself, twice and by another spelling; and two files that include each other.
    compile("a db 1\r\n$include ./main.kvd\r\n$include main.kvd\r\nb db 2\r\n");
    EXPECT_EQ(s.view.errors, (Strings{"$Include|Recursive $include of " + dir.file("main.kvd"),
                                      "$Include|Recursive $include of " + dir.file("main.kvd")}));
    EXPECT_EQ(s.names(), (Strings{"a", "b"}));
    EXPECT_TRUE(s.log.hasErrors());

    dir.write("one.kvd", "x db 1\r\n$include two.kvd\r\n");
    dir.write("two.kvd", "y db 1\r\n$include one.kvd\r\nz db 1\r\n");
    Session mutual;
    mutual.make(dir.write("mutual.kvd", "$include one.kvd\r\n"));
    EXPECT_EQ(mutual.view.errors, Strings{"$Include|Recursive $include of " + dir.file("one.kvd")});
    EXPECT_EQ(mutual.view.locations, Strings{dir.file("two.kvd") + ":2"});
    EXPECT_EQ(mutual.names(), (Strings{"x", "y", "z"}));
}

TEST_F(Definitions, AMakeCompilesAtMostTenThousandFiles) {
    dir.write("leaf.kvd", "");
    std::string many;
    for (int i = 0; i < 10000; ++i) many += "$include leaf.kvd\r\n";
    compile(many + "after db 1\r\n");
    EXPECT_EQ(s.view.errors, Strings{"$Include|Too many $include files (at most 10000)"});
    EXPECT_EQ(s.names(), Strings{}) << "the compile stops";
}

TEST_F(Definitions, ErrorsCarryFileAndLineOfTheirStatement) {
    dir.write("inc.kvd", "\n\nbad db q\r\n");
    compile(
        "a db 1\r\n\r\nb db x\nc db y\rd db z\r\n; note\r\n  e\r\n db\r\n w\r\n"
        "$include inc.kvd\r\n$include gone.kvd\r\nf db v\r\n");
    EXPECT_EQ(s.view.errors.size(), 7u);
    EXPECT_EQ(s.view.locations, (Strings{main + ":3", main + ":4", main + ":5", main + ":7",
                                         dir.file("inc.kvd") + ":3", main + ":11", main + ":12"}));
    EXPECT_EQ(s.view.columns, (std::vector<int>{1, 1, 1, 3, 1, 1, 1}));

    Session missing;
    missing.make(dir.file("absent.kvd"));
    EXPECT_EQ(missing.view.errors, Strings{"|File not Found " + dir.file("absent.kvd")});
    EXPECT_EQ(missing.view.locations, Strings{""});

    Session folder;  // exists but cannot be read as a file
    folder.make(dir.path());
    EXPECT_EQ(folder.view.errors, Strings{"|File not Found " + dir.path()});
}

// The column is that of the statement's first character, in bytes: a tab counts one, and a line can hold
// several statements.
TEST_F(Definitions, ErrorsCarryTheColumnOfTheirStatement) {
    compile("a db 1\r\n\t$dhcp ON\r\nb db 2 $secure maybe\r\n  \"q\" x 1\r\n");
    EXPECT_EQ(s.view.locations, (Strings{main + ":2", main + ":3", main + ":4"}));
    EXPECT_EQ(s.view.columns, (std::vector<int>{2, 8, 3}));
}

// Every file the compile reads or looks for is recorded once, in the order first read; declarations know
// their file, line and column.
TEST_F(Definitions, RecordsTheFilesItReadsAndWhereObjectsAreDeclared) {
    dir.write("inc.kvd", "\r\n  x db 1\r\n");
    dir.write("site/a.htm", "a");
    dir.write("fmt.txt", "^name^");
    dir.write("head.txt", "h");
    const std::string defs =
        dir.write("defs.kvd",
                  "$sitepath site\r\n$include inc.kvd\r\n$include gone.kvd\r\n$include inc.kvd\r\n"
                  "$exportformatfile fmt.txt\r\n$exportheaderfile head.txt\r\n$exportfooterfile foot.txt\r\n"
                  "$exportfile out.h\r\n$export\r\n");
    MakeFiles files;
    DefinitionsCompiler compiler(s.settings, s.objects, s.log, &files);
    compiler.compileDefinitions(defs);
    using Kind = MakeFiles::Kind;
    const struct {
        std::string path;
        Kind kind;
        bool found;
    } expected[] = {
        {defs, Kind::File, true},
        {dir.file("site"), Kind::Folder, true},
        {dir.file("inc.kvd"), Kind::File, true},
        {dir.file("gone.kvd"), Kind::File, false},
        {dir.file("fmt.txt"), Kind::File, true},
        {dir.file("head.txt"), Kind::File, true},
        {dir.file("foot.txt"), Kind::File, false},
    };
    ASSERT_EQ(files.reads().size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(files.reads()[i].path, expected[i].path);
        EXPECT_EQ(files.reads()[i].kind, expected[i].kind) << expected[i].path;
        EXPECT_EQ(files.reads()[i].found, expected[i].found) << expected[i].path;
    }
    EXPECT_EQ(files.writes(), Strings{dir.file("out.h")});
    ASSERT_EQ(s.objects.size(), 2u);
    for (const ObjectRecord& x : s.objects) {
        EXPECT_EQ(x.declaredIn, 2);
        EXPECT_EQ(x.declaredLine, 2);
        EXPECT_EQ(x.declaredColumn, 3);
    }
}

// A make that only compiles reads the templates but writes no export file.
TEST_F(Definitions, ExportWritesNothingWhenOutputsAreOff) {
    dir.write("fmt.txt", "^name^");
    const std::string defs =
        dir.write("defs.kvd", "a db 1\r\n$exportformatfile fmt.txt\r\n$exportfile out.h\r\n$export\r\n");
    MakeFiles files;
    files.writeOutputs = false;
    DefinitionsCompiler(s.settings, s.objects, s.log, &files).compileDefinitions(defs);
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.h")));
    EXPECT_TRUE(files.writes().empty());
    EXPECT_FALSE(s.log.hasErrors());
}

TEST_F(Definitions, TablesThatAreFull) {
    for (int i = 0; i < 9999; ++i) {
        ObjectRecord& record = s.objects.emplace_back();
        record.name = "p" + std::to_string(i);
        record.hash = i;
    }
    s.compiler.compileDefinitions(dir.write("main.kvd", "a db 1\r\nb db 2\r\nc db 3\r\n"));
    EXPECT_EQ(s.objects.size(), 10000u);
    EXPECT_EQ(s.objects.back().name, "a");
    EXPECT_EQ(s.view.errors, Strings{"Object|Too many objects (at most 10000)"});

    Session types;
    types.settings.pageTypes.resize(100, "x");
    types.make(dir.write("types.kvd", "$parse abc\r\nafter db 1\r\n"));
    EXPECT_EQ(types.view.errors, Strings{"$Parse|Too many page types (at most 100)"});
    EXPECT_EQ(types.settings.pageTypes.size(), 100u);
    EXPECT_EQ(types.names(), Strings{"after"});
}

// One compiler serves many makes; names of an earlier make must not count as duplicates in the next.
TEST_F(Definitions, EachMakeStartsFromTheEmptiedTable) {
    compile("a db 1\r\na.b db 2\r\n");
    compile("a db 1\r\na_c db 2\r\na_b db 3\r\n");
    EXPECT_EQ(s.view.errors, Strings{});
    EXPECT_EQ(s.names(), (Strings{"a", "a_c", "a_b"}));
}

}  // namespace
}  // namespace brindlecor::builder
