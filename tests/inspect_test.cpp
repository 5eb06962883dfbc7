// `tamarquill inspect` end to end: images made by the builder read back field by field against their bytes,
// pages written back as the references they were compiled from, and damaged or foreign files reported
// without a crash.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "tests/support/program.h"
#include "tests/support/project.h"

namespace brindlecor::testing {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

RunResult inspect(const std::vector<std::string>& args) {
    std::vector<std::string> all = {"inspect"};
    all.insert(all.end(), args.begin(), args.end());
    return runProgram(programPath("tamarquill"), all);
}

uint32_t le(const std::string& image, size_t offset, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(image.at(offset + i));
    return v;
}

TEST(Inspect, JsonMatchesTheImageBytesAndTheDefinitions) {
    TempDir dir;
    fs::copy(BRINDLECOR_SOURCE_DIR "/examples/demo", dir.path(),
             fs::copy_options::recursive | fs::copy_options::skip_existing);
    ASSERT_EQ(runProgram(programPath("tamarquill"), {"make", dir.file("demo.kvd")}).status, 0);
    fs::remove(dir.file("demo_objects.h"));
    const std::string image = dir.read("demo.kvb");

    const RunResult r = inspect({dir.file("demo.kvb"), "--json", "--definitions", dir.file("demo.kvd")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_FALSE(fs::exists(dir.file("demo_objects.h"))) << "--definitions writes nothing";
    const Json doc = Json::parse(r.out);
    EXPECT_EQ(doc["length"], image.size());
    EXPECT_EQ(doc["bytes_left"], 49152 - static_cast<long long>(image.size()));
    EXPECT_EQ(doc["configuration"]["device_name"], "Brindlecor Demo");
    EXPECT_EQ(doc["configuration"]["ip_address"], "192.168.0.200");
    EXPECT_EQ(doc["configuration"]["dhcp"], true);
    EXPECT_EQ(doc["configuration"]["access_password_set"], true);
    EXPECT_EQ(doc["configuration"]["download_password_set"], false);
    EXPECT_EQ(doc["problems"].size(), 0u);

    // Every entry as the file holds it, in order: objects, then files, then the terminator.
    size_t at = 0x500;
    for (const Json& o : doc["objects"]) {
        EXPECT_EQ(o["entry"], 0x4000 + at);
        EXPECT_EQ(o["hash"], le(image, at, 4));
        EXPECT_EQ(o["address"], le(image, at + 4, 2));
        EXPECT_EQ(o["size"], le(image, at + 6, 1));
        EXPECT_EQ(o["flags"], le(image, at + 7, 1));
        at += 8;
    }
    uint32_t previous = 0;
    for (const Json& f : doc["files"]) {
        EXPECT_EQ(f["entry"], 0x4000 + at);
        EXPECT_EQ(f["hash"], le(image, at, 4));
        EXPECT_EQ(f["address"], le(image, at + 4, 2));
        EXPECT_EQ(f["flags"], le(image, at + 7, 1));
        const uint32_t next = le(image, at + 8 + 4, 2);
        EXPECT_EQ(f["length"], next - le(image, at + 4, 2));
        EXPECT_GE(f["address"].get<uint32_t>(), previous);
        previous = f["address"];
        at += 8;
    }
    EXPECT_EQ(doc["terminator"]["entry"], 0x4000 + at);
    EXPECT_EQ(doc["terminator"]["end_address"], 0x4000 + image.size());
    EXPECT_EQ(doc["file_data"]["size"], image.size() - (at + 8));

    EXPECT_EQ(doc["objects"][2]["name"], "temp");
    EXPECT_EQ(doc["objects"][2]["type"], "Byte");
    EXPECT_EQ(doc["objects"][11]["name"], "version");
    EXPECT_EQ(doc["objects"][11]["output_only"], true);
    std::vector<std::string> paths;
    for (const Json& f : doc["files"]) paths.push_back(f["path"]);
    EXPECT_EQ(paths, (std::vector<std::string>{"admin/index.htm", "index.htm", "logo.png", "set.kvi"}));
    EXPECT_EQ(doc["files"][0]["protected"], true);
    EXPECT_EQ(doc["files"][3]["form"], true);

    // Without the definitions the names are not there, and the text form says the same.
    const RunResult bare = inspect({dir.file("demo.kvb"), "--json"});
    EXPECT_FALSE(Json::parse(bare.out)["objects"][0].contains("name"));
    const RunResult text = inspect({dir.file("demo.kvb"), "--definitions", dir.file("demo.kvd")});
    EXPECT_EQ(text.status, 0);
    EXPECT_NE(text.out.find("  0x4568  0x08BF1AB6  0x46FB   371     1583    page               index.htm\n"),
              std::string::npos)
        << text.out;
    EXPECT_NE(text.out.find("  access password    set\n"), std::string::npos);
}

// A page reads back as the references it was written with (constants in decimal), with or without names.
TEST(Inspect, PageShowsItsReferences) {
    Project p("org 10h\r\ncount dw 5\r\ntemp db 25\r\nmsg db \"hello\"\r\nflags dd 0\r\nbit0 dbit 1\r\n");
    const std::string page =
        "<p>^temp^ ^temp+3^ ^count-1^ ^count*300^ ^flags'3^ ^flags#4^ ^temp$2^ ^count:p^ ^count:2^\r\n"
        "^msg^ ^bit0^ 5^^3 ^temp:exitif0^ rest</p>\r\n";
    p.dir.write("site/index.htm", page);
    p.dir.write("site/logo.gif", "GIF^x^");
    ASSERT_EQ(p.make().status, 0);
    const RunResult named =
        inspect({p.dir.file("out.kvb"), "--page", "/Index.htm", "--definitions", p.dir.file("defs.kvd")});
    EXPECT_EQ(named.status, 0) << named.err;
    EXPECT_EQ(named.out, page);
    const RunResult unnamed = inspect({p.dir.file("out.kvb"), "--page", "index.htm"});
    EXPECT_EQ(unnamed.out.substr(0, unnamed.out.find("\r\n")),
              "<p>^#0x0012^ ^#0x0012+3^ ^#0x0010[dw]-1^ ^#0x0010[dw]*300^ ^#0x0018[dd]'3^ ^#0x0018[dd]#4^ "
              "^#0x0012$2^ ^#0x0010[dw]:p^ ^#0x0010[dw]:2^");
    EXPECT_EQ(inspect({p.dir.file("out.kvb"), "--page", "logo.gif"}).out, "GIF^x^");
    const Json doc = Json::parse(inspect({p.dir.file("out.kvb"), "--page", "", "--json"}).out);
    EXPECT_EQ(doc["page"], "index.htm");
    EXPECT_EQ(doc["references"], 12);

    const RunResult object = inspect({p.dir.file("out.kvb"), "--page", "temp"});
    EXPECT_EQ(object.status, 1);
    EXPECT_NE(object.err.find("temp names an object, not a file"), std::string::npos);
    const RunResult missing = inspect({p.dir.file("out.kvb"), "--page", "none.htm"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("holds no file none.htm"), std::string::npos);
}

// Damaged, foreign and missing files: a message that says what and where, exit status 1, never a crash.
TEST(Inspect, DamagedAndForeignFiles) {
    Project p("a db 1\r\n");
    p.dir.write("site/index.htm", "^a^ page");
    ASSERT_EQ(p.make().status, 0);
    const std::string good = p.dir.read("out.kvb");
    std::string pastTheEnd = good;
    pastTheEnd[0x508 + 4] = '\x00';
    pastTheEnd[0x508 + 5] = '\x90';  // the page's data at 0x9000
    const struct {
        const char* what;
        std::string bytes;
        std::string message;
    } cases[] = {
        {"empty", "", "0x4000: the image ends inside the configuration block"},
        {"cut in the RAM image", good.substr(0, 0x300), "0x4300: the image ends at 0x4300"},
        {"cut in the table", good.substr(0, 0x50C), "0x4508: no directory terminator"},
        {"cut in the data", good.substr(0, good.size() - 2), "0x4510: the terminator gives the end address"},
        {"pointer past the end", pastTheEnd, "0x4508: the first file's data starts at 0x9000"},
        {"text file", std::string(300, 'x') + "\n", "0x40A9: the unused bytes 0x40A9-0x41FF"},
        {"too long", std::string(49153, '\xFF'), "0x10000: the file is 49153 bytes long"},
    };
    for (const auto& c : cases) {
        p.dir.write("bad.kvb", c.bytes);
        for (bool json : {false, true}) {
            std::vector<std::string> args = {p.dir.file("bad.kvb")};
            if (json) args.push_back("--json");
            const RunResult r = inspect(args);
            EXPECT_EQ(r.status, 1) << c.what;
            EXPECT_NE(r.err.find("tamarquill inspect: " + p.dir.file("bad.kvb") + ": " + c.message),
                      std::string::npos)
                << c.what << "\n"
                << r.err;
            if (json) {
                const Json doc = Json::parse(r.out, nullptr, false);
                EXPECT_FALSE(doc.is_discarded()) << c.what;
                EXPECT_GE(doc["problems"].size(), 1u) << c.what;
            }
        }
    }
    const struct {
        std::vector<std::string> args;
        int status;
        std::string message;
    } refusals[] = {
        {{p.dir.file("none.kvb")}, 1, "cannot open " + p.dir.file("none.kvb")},
        {{p.dir.path()}, 1, p.dir.path() + " is a folder"},
        {{}, 2, "no image file given"},
        {{"a.kvb", "--page"}, 2, "--page needs a value"},
        {{"a.kvb", "--bogus"}, 2, "unknown option '--bogus'"},
    };
    for (const auto& c : refusals) {
        const RunResult r = inspect(c.args);
        EXPECT_EQ(r.status, c.status) << c.message;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
    p.dir.write("huge.kvb", std::string(2 << 20, '\0'));
    EXPECT_NE(inspect({p.dir.file("huge.kvb")}).err.find("bytes long: no image"), std::string::npos);
}

}  // namespace
}  // namespace brindlecor::testing
