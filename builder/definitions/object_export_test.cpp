#include "builder/definitions/object_export.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "builder/definitions/definitions_testing.h"
#include "common/name_hash.h"

namespace brindlecor::builder {
namespace {

using definitions_testing::Scratch;
using definitions_testing::ScriptedView;
using definitions_testing::Session;
using Strings = std::vector<std::string>;

ObjectRecord led(int32_t address) {
    ObjectRecord record;
    record.name = "led";
    record.typeCode = 1;
    record.size = 1;
    record.address = address;
    record.initial = uint8_t{5};
    record.direction = 2;
    record.secured = 255;
    record.hash = calcHASH("led");
    return record;
}

TEST(ObjectExport, Placeholders) {
    struct Case {
        std::string format;
        int32_t address;
        std::string expected;
    } cases[] = {
        {"#define ^name^ 0x^address^\r\n", 32, "#define led 0x0020\r\n"},
        {"#define ^name^ 0x^address^\r\n", 4660, "#define led 0x01234\r\n"},
        {"^NAME^=^Address^", 32, "led=0020"},
        {"^type^ ^size^ ^default^ ^direction^ ^secure^", 0, "Byte 1 5 output secured"},
        {"^hash^", 0, std::to_string(calcHASH("led"))},
        {"a^^b^^", 0, "a^b^"},
        {"^width:8^", 0, "width:8"},
        {"^unknown^|", 0, "unknown |"},  // an unknown word keeps its (space) modifier
        {"^name:x^", 0, "led"},          // after a known word the modifier and argument are ignored
        {"^name,x", 0, "led,x"},         // the character that broke the placeholder is written as text
        {"end^", 0, "end "},
        {"", 0, ""},
    };
    for (const auto& c : cases) {
        std::string out;
        expandFormat(c.format, led(c.address), out);
        EXPECT_EQ(out, c.expected) << c.format;
    }
}

TEST(ObjectExport, ExportFromDefinitionsReplacesTheFileAndClearsTheNames) {
    Scratch dir;
    dir.write("fmt.txt", "^name^,^type^,^size^,^default^,^direction^,^secure^,^address^\r\n");
    dir.write("head.txt", "HEAD\r\n");
    dir.write("foot.txt", "FOOT\r\n");
    dir.write("out.txt", "an older and much longer export that must not survive in any part\r\n");
    Session s;
    s.make(dir.write("main.kvd",
                     "$exportformatfile fmt.txt\r\n$exportfile out.txt\r\n$exportheaderfile head.txt\r\n"
                     "$exportfooterfile foot.txt\r\n"
                     "led db 5\r\nflag dbit 1\r\nport equ 0FF80h\r\nmsg db \"$none$\"\r\norg 1234h\r\n"
                     "big dw -1\r\n$secure on\r\n$inputonly\r\ns ds 3\r\n"
                     "$export\r\n$export\r\n"));
    EXPECT_EQ(dir.read("out.txt"),
              "HEAD\r\n"
              "led,Byte,1,5,bidirectional,,0000\r\n"
              "flag,Bit,1,1,bidirectional,,0001\r\n"
              "port,Long,0,,bidirectional,,0FF80\r\n"
              "msg,String,6,,bidirectional,,0002\r\n"
              "big,Integer,2,-1,bidirectional,,01234\r\n"
              "s,String,3,,input,secured,01236\r\n"
              "FOOT\r\n");
    // The second $export has no names left.
    EXPECT_EQ(s.view.errors, Strings{"$Export|No File Given for Export Definitions"});
    EXPECT_NE(s.view.log.find("Exporting Variables to File: " + dir.file("out.txt") + "\r\n"),
              std::string::npos);
    EXPECT_NE(s.view.log.find("Exporting Variables to File: \r\n"), std::string::npos);
    EXPECT_EQ(s.settings.formatFile, "");
    EXPECT_EQ(s.settings.exportFile, "");
    EXPECT_EQ(s.settings.exportHeaderFile, "");
    EXPECT_EQ(s.settings.exportFooterFile, "");
}

TEST(ObjectExport, MissingPartsAndFailures) {
    Scratch dir;
    dir.write("fmt.txt", "^name^\r\n");
    dir.write("empty.txt", "");
    dir.write("foot.txt", "FOOT");
    const std::vector<ObjectRecord> none;
    const std::vector<ObjectRecord> one{led(0)};
    struct Case {
        std::string format, header, footer, exportFile;
        const std::vector<ObjectRecord>* objects;
        Strings errors;
        std::string written;  // "" when nothing may be written
    } cases[] = {
        {dir.file("fmt.txt"),
         dir.file("missing.txt"),
         dir.file("foot.txt"),
         dir.file("a.txt"),
         &none,
         {},
         "FOOT"},
        {dir.file("empty.txt"),
         dir.file("foot.txt"),
         dir.file("foot.txt"),
         dir.file("a.txt"),
         &one,
         {},
         "FOOTFOOT"},
        {dir.file("fmt.txt"), "", "", dir.file("a.txt"), &one, {}, "led\r\n"},
        {"", "", "", dir.file("a.txt"), &one, {"$Export|No File Given for Export Definitions"}, ""},
        {dir.file("fmt.txt"), "", "", "", &one, {"$Export|No $ExportFile filename, Can not Export"}, ""},
        {dir.file("gone.txt"),
         "",
         "",
         dir.file("a.txt"),
         &one,
         {"$Export|File " + dir.file("gone.txt") + " Not Found"},
         ""},
        {dir.file("fmt.txt"),
         "",
         "",
         dir.file("no/such/folder.txt"),
         &one,
         {"$Export|Can not write File " + dir.file("no/such/folder.txt")},
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.format + " -> " + c.exportFile);
        std::filesystem::remove(dir.file("a.txt"));
        ScriptedView view;
        BuildLog log(view);
        BuildSettings settings;
        settings.formatFile = c.format;
        settings.exportHeaderFile = c.header;
        settings.exportFooterFile = c.footer;
        settings.exportFile = c.exportFile;
        exportObjects(settings, *c.objects, log);
        EXPECT_EQ(view.errors, c.errors);
        if (c.written.empty()) {
            EXPECT_FALSE(std::filesystem::exists(dir.file("a.txt")));
        } else {
            EXPECT_EQ(dir.read("a.txt"), c.written);
        }
    }
}

}  // namespace
}  // namespace brindlecor::builder
