// `brindlecorpc serve --reload-on-change` end to end: the image file replaced by rename, rewritten in place,
// removed and refused, each seen by the next request; and the whole loop with `tamarquill make --watch`.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

#include "server/emulation/image_fixture.h"
#include "tests/support/loopback.h"
#include "tests/support/program.h"

namespace brindlecor::testing {
namespace {

namespace fs = std::filesystem;

// A page that shows the object temp (RAM 0x40) after a word of its own.
std::string imageSaying(const std::string& word, char temp) {
    return ImageFixture()
        .ram(0x40, std::string(1, temp))
        .object("temp", 0x40, 1, 0x21)
        .file("index.htm", 0x40, word + std::string(" ^\x83\x40\x00\x98", 6))
        .file("set.kvi", 0x10, "ok")
        .text();
}

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
    return n;
}

bool waitFor(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

std::string body(int port) {
    const std::string response = httpGet(port, "/");
    const size_t end = response.find("\r\n\r\n");
    return end == std::string::npos ? response : response.substr(end + 4);
}

TEST(ReloadOnChange, EveryKindOfReplacementIsServedAndRefusalsKeepTheOldImage) {
    TempDir dir;
    ServePorts ports;
    dir.write("site.kvb", imageSaying("one", 1));
    std::vector<std::string> args = ports.serveArgs(dir.file("site.kvb"));
    args.push_back("--reload-on-change");
    BackgroundProgram serve(programPath("brindlecorpc"), args, {"XDG_CONFIG_HOME=" + dir.path()});
    ASSERT_TRUE(serve.waitForOutput("http://127.0.0.1:" + std::to_string(ports.http) + "/\n")) << serve.err();
    EXPECT_EQ(body(ports.http), "one 1");
    // A form changes RAM; the reset of a reload gives the objects the new image's values.
    httpGet(ports.http, "/set.kvi?temp=9");
    EXPECT_EQ(body(ports.http), "one 9");

    const std::string reloaded = "Reloaded " + dir.file("site.kvb") + "\n";
    size_t reloads = 0;
    const struct {
        const char* what;
        std::function<void()> change;
        std::string served;
        std::string problem;  // on stderr; "" when the change is reloaded
    } changes[] = {
        {"renamed over",
         [&] {
             dir.write("site.kvb.new", imageSaying("two", 2));
             fs::rename(dir.file("site.kvb.new"), dir.file("site.kvb"));
         },
         "two 2", ""},
        {"rewritten in place", [&] { dir.write("site.kvb", imageSaying("three", 3)); }, "three 3", ""},
        {"removed", [&] { fs::remove(dir.file("site.kvb")); }, "three 3",
         dir.file("site.kvb") + " is missing; still serving the image loaded before\n"},
        {"too big", [&] { dir.write("site.kvb", std::string(49153, '\xFF')); }, "three 3",
         "Image file " + dir.file("site.kvb") +
             " is larger than 49152 bytes; still serving the image loaded before\n"},
        {"fixed", [&] { dir.write("site.kvb", imageSaying("four", 4)); }, "four 4", ""},
    };
    for (const auto& c : changes) {
        c.change();
        if (c.problem.empty()) {
            ++reloads;
            ASSERT_TRUE(waitFor([&] { return count(serve.out(), reloaded) >= reloads; })) << c.what;
            reloads = count(serve.out(), reloaded);  // a rewrite seen in two parts may reload twice
        } else {
            ASSERT_TRUE(waitFor([&] { return serve.err().find(c.problem) != std::string::npos; }))
                << c.what << "\n"
                << serve.err();
            EXPECT_EQ(count(serve.err(), c.problem), 1u) << c.what << ": reported once";
        }
        EXPECT_EQ(body(ports.http), c.served) << c.what;
    }
    EXPECT_EQ(serve.stop(), 0);
}

// The edit-to-browser loop: a page saved in the site shows in the next request once the watch has made the
// image and the server has reloaded it.
TEST(ReloadOnChange, PageEditsReachTheBrowserThroughWatchAndServe) {
    TempDir dir;
    dir.write("defs.kvd", "$sitepath \"site\"\r\n$sitefile \"out.kvb\"\r\norg 40h\r\ntemp db 25\r\n");
    dir.write("site/index.htm", "first ^temp^");
    BackgroundProgram watch(programPath("tamarquill"), {"make", "--watch", "--quiet", dir.file("defs.kvd")});
    ASSERT_TRUE(watch.waitForOutput("image written")) << watch.err();
    ServePorts ports;
    std::vector<std::string> args = ports.serveArgs(dir.file("out.kvb"));
    args.push_back("--reload-on-change");
    BackgroundProgram serve(programPath("brindlecorpc"), args, {"XDG_CONFIG_HOME=" + dir.path()});
    ASSERT_TRUE(serve.waitForOutput("http://")) << serve.err();
    EXPECT_EQ(body(ports.http), "first 25");
    for (const std::string word : {"second", "third", "fourth"}) {
        dir.write("site/index.htm", word + " ^temp^");
        EXPECT_TRUE(waitFor([&] { return body(ports.http) == word + " 25"; })) << word;
    }
    EXPECT_EQ(serve.stop(SIGINT), 0);
    EXPECT_EQ(watch.stop(SIGINT), 0);
}

}  // namespace
}  // namespace brindlecor::testing
