#include "server/emulation/http_responder.h"

#include <gtest/gtest.h>

#include <string>

#include "server/emulation/image_fixture.h"
#include "server/emulation/page_renderer.h"

namespace brindlecor::server {
namespace {

using brindlecor::testing::ImageFixture;

const std::string kPlain(kPlainFileHeader);

Device siteDevice() {
    Device d;
    const auto image = ImageFixture()
                           .ram(0x40, "\xC8")              // 200
                           .ram(0x42, "\xFF\xFF")          // -1
                           .ram(0x44, "\x00\x00\x00\x80")  // INT32_MIN
                           .ram(0x48, "Hi")
                           .ram(0x2E0, "\x02")  // bit 1
                           .object("temp", 0x40, 1, 0x21)
                           .object("level", 0x42, 2, 0x22)
                           .object("total", 0x44, 4, 0xA4)
                           .object("greeting", 0x48, 4, 0x27)
                           .object("lamp", 1, 1, 0x20)
                           .object("code", 0x4C, 1, 0x23)
                           .object("edge", 0xFFFF, 2, 0x22)
                           .file("index.htm", 0x40, "Temp: ^\x83\x40\x00\x98 C")
                           .file("a_b", 0x00, "under a_b")
                           .file("data.xml", 0x40, "<t>^\x83\x40\x00\x98</t>")
                           .file("set.kvi", 0x10, "ok ^\x83\x40\x00\x98")
                           .file("raw.htm", 0x40, "HTTP/1.0 302 Found\r\n\r\n")
                           .file("style.css", 0x40, "p{}")
                           .file("bad.htm", 0x40, "x^\x8C\x00\xB0\x98")
                           .file("logo.gif", 0x00, "GIF")
                           .bytes();
    EXPECT_FALSE(d.loadImage(image));
    return d;
}

TEST(HttpResponder, DesignedAnswersWithoutPageHeaders) {
    struct Case {
        std::string request;
        std::string response;
    } cases[] = {
        {"GET / HTTP/1.0\r\n\r\n", "Temp: 200 C"},
        {"get /index.htm", "Temp: 200 C"},
        {"GET /Index.HTM HTTP/1.1\r\n", "Temp: 200 C"},
        {"GET /?x=1 HTTP/1.1\r\n", "Temp: 200 C"},
        {"GET /\r\n", "Temp: 200 C"},
        {"GET /index.htm\r\n", "Temp: 200 C"},
        {"GET /a%2Eb HTTP/1.0\r\n", kPlain + "under a_b"},
        {"GET /a.b HTTP/1.0\r\n", kPlain + "under a_b"},
        {"GET /index%2ehtm HTTP/1.0\r\n", "Temp: 200 C"},
        {"GET /data.xml?x=1 HTTP/1.0\r\n", "<t>200</t>"},
        {"GET /logo.gif HTTP/1.0\r\n", kPlain + "GIF"},
        {"GET /temp HTTP/1.0\r\n", "200\r\n"},
        {"GET /level HTTP/1.0\r\n", "-1\r\n"},
        {"GET /total HTTP/1.0\r\n", "-2147483648\r\n"},
        {"GET /GREETING HTTP/1.0\r\n", "Hi\r\n"},  // the request is lower-cased, RAM is not
        {"GET /lamp HTTP/1.0\r\n", "1\r\n"},
        {"GET /missing.htm HTTP/1.0\r\n", std::string(kNotFoundResponse)},
        {"GET /", std::string(kNotFoundResponse)},
        {"GET /%", std::string(kNotFoundResponse)},
    };
    for (const auto& c : cases) {
        Device d = siteDevice();
        d.ram[0x48] = 'H';
        HttpResponder responder(false);
        ASSERT_EQ(responder.handle(d, c.request), HttpOutcome::Respond) << c.request;
        EXPECT_EQ(responder.response(), c.response) << c.request;
    }
}

TEST(HttpResponder, ObjectKindsWithoutValueTextServeFlashAtTheirAddress) {
    Device d = siteDevice();
    HttpResponder responder(true);
    ASSERT_EQ(responder.handle(d, "GET /code HTTP/1.0\r\n"), HttpOutcome::Respond);
    const auto code = d.lookup(static_cast<uint32_t>(calcHASH("code")));
    ASSERT_TRUE(code);
    const std::string flash(reinterpret_cast<const char*>(&d.flash[0x4C]), code->length);
    EXPECT_EQ(responder.response(), kPlain + flash);
}

TEST(HttpResponder, FormHandlerAppliesTheQueryBeforeRendering) {
    Device d = siteDevice();
    HttpResponder responder(false);
    ASSERT_EQ(responder.handle(d, "GET /set.kvi?temp=42 HTTP/1.0\r\n"), HttpOutcome::Respond);
    EXPECT_EQ(responder.response(), "ok 42");
    ASSERT_EQ(responder.handle(d, "GET /set.kvi?temp=7&greeting=ABC HTTP/1.0\r\n"), HttpOutcome::Respond);
    EXPECT_EQ(responder.response(), "ok 7");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&d.ram[0x48]), 4), std::string("abc\0", 4));
    // Pages do not take queries.
    ASSERT_EQ(responder.handle(d, "GET /index.htm?temp=9 HTTP/1.0\r\n"), HttpOutcome::Respond);
    EXPECT_EQ(responder.response(), "Temp: 7 C");
}

TEST(HttpResponder, PageHeadersNameTheTypeAndLeavePlainFilesAlone) {
    const std::string ok = "HTTP/1.0 200 OK\r\nContent-Type: ";
    struct Case {
        std::string request;
        std::string response;
    } cases[] = {
        {"GET / HTTP/1.0\r\n", ok + "text/html\r\nContent-Length: 11\r\n\r\nTemp: 200 C"},
        {"GET /data.xml HTTP/1.0\r\n", ok + "text/xml\r\nContent-Length: 10\r\n\r\n<t>200</t>"},
        {"GET /style.css HTTP/1.0\r\n", ok + "text/css\r\nContent-Length: 3\r\n\r\np{}"},
        {"GET /set.kvi HTTP/1.0\r\n", ok + "text/html\r\nContent-Length: 6\r\n\r\nok 200"},
        {"GET /temp HTTP/1.0\r\n", ok + "text/plain\r\nContent-Length: 5\r\n\r\n200\r\n"},
        {"GET /raw.htm HTTP/1.0\r\n", "HTTP/1.0 302 Found\r\n\r\n"},
        {"GET /logo.gif HTTP/1.0\r\n", kPlain + "GIF"},
        {"GET /nothing HTTP/1.0\r\n", std::string(kNotFoundResponse)},
    };
    for (const auto& c : cases) {
        Device d = siteDevice();
        HttpResponder responder(true);
        ASSERT_EQ(responder.handle(d, c.request), HttpOutcome::Respond) << c.request;
        EXPECT_EQ(responder.response(), c.response) << c.request;
    }
    struct Type {
        const char* extension;
        const char* type;
    } types[] = {{"", "text/html"},
                 {"htm", "text/html"},
                 {"html", "text/html"},
                 {"kvi", "text/html"},
                 {"xml", "text/xml"},
                 {"wml", "text/vnd.wap.wml"},
                 {"css", "text/css"},
                 {"js", "application/javascript"},
                 {"json", "application/json"},
                 {"txt", "text/plain"}};
    for (const auto& t : types) EXPECT_EQ(contentTypeFor(t.extension), t.type) << t.extension;
}

TEST(HttpResponder, PasswordMarkedFilesNeedACredentialOnlyWhenAskedFor) {
    auto image = ImageFixture()
                     .object("temp", 0x40, 1, 0x21)
                     .file("index.htm", 0x40, "open")
                     .file("admin/index.htm", 0x48, "secret")
                     .file("admin/set.kvi", 0x18, "set")
                     .bytes();
    auto put = [&image](uint32_t address, std::string_view text) {
        std::copy(text.begin(), text.end(), image.begin() + (address - image::kImageBase));
    };
    put(image::kDeviceNameAddress, "Lab");
    const std::string access = "dXNlcjpwYXNz";  // user:pass
    const std::string master = "cm9vdDpTZWNyZXQ=";  // root:Secret
    put(image::kAccessCredentialAddress, access + std::string(image::kCredentialSize - access.size(), ' '));
    put(image::kMasterCredentialAddress, master + std::string(image::kCredentialSize - master.size(), ' '));
    Device device;
    ASSERT_FALSE(device.loadImage(image));

    const std::string denied =
        "HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"Lab\"\r\n\r\n"
        "<h1>401 Unauthorized: this page needs a user name and password</h1>\r\n";
    struct Case {
        bool require;
        std::string request;
        std::string answer;
    };
    const std::vector<Case> cases = {
        {false, "GET /admin/index.htm HTTP/1.0\r\n\r\n", "secret"},
        {true, "GET /admin/index.htm HTTP/1.0\r\n\r\n", denied},
        {true, "GET /admin/index.htm HTTP/1.0\r\nAuthorization: Basic " + access + "\r\n\r\n", "secret"},
        {true, "GET /admin/index.htm HTTP/1.0\r\nauthorization: basic " + master + "\r\n\r\n", "secret"},
        // The credential is compared as sent, not as the lower-cased request reads.
        {true, "GET /admin/index.htm HTTP/1.0\r\nAuthorization: Basic cm9vdDpzZWNyZXQ=\r\n\r\n", denied},
        {true, "GET /admin/index.htm HTTP/1.0\r\nAuthorization: Basic " + access.substr(1) + "\r\n\r\n",
         denied},
        {true, "GET /index.htm HTTP/1.0\r\n\r\n", "open"},
        {true, "GET /admin/set.kvi HTTP/1.0\r\n\r\n", "set"},
        {true, "GET /temp HTTP/1.0\r\n\r\n", "0\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.request);
        HttpResponder responder;
        responder.setRequirePasswords(c.require);
        ASSERT_EQ(responder.handle(device, c.request), HttpOutcome::Respond);
        EXPECT_EQ(responder.response(), c.answer);
    }

    // Without credentials in the image nothing is protected.
    Device open;
    ASSERT_FALSE(open.loadImage(ImageFixture().file("admin/index.htm", 0x48, "secret").bytes()));
    HttpResponder responder;
    responder.setRequirePasswords(true);
    ASSERT_EQ(responder.handle(open, "GET /admin/index.htm HTTP/1.0\r\n\r\n"), HttpOutcome::Respond);
    EXPECT_EQ(responder.response(), "secret");
}

TEST(HttpResponder, NonRequestsErrorsAndShortSegments) {
    struct Case {
        std::string request;
        HttpOutcome outcome;
    } cases[] = {
        {"", HttpOutcome::KeepWaiting},
        {"G", HttpOutcome::KeepWaiting},
        {"gEt ", HttpOutcome::KeepWaiting},
        {"GETX", HttpOutcome::Ignore},
        {"POST / HTTP/1.0\r\n\r\n", HttpOutcome::Ignore},
        {"HEAD / HTTP/1.0\r\n", HttpOutcome::Ignore},
        {"\r\nGET / HTTP/1.0\r\n", HttpOutcome::Ignore},
        {"GET /bad.htm HTTP/1.0\r\n", HttpOutcome::CloseWithoutResponse},
        {"GET /edge HTTP/1.0\r\n", HttpOutcome::CloseWithoutResponse},  // a value read past 0xFFFF
    };
    for (const auto& c : cases) {
        Device d = siteDevice();
        HttpResponder responder(true);
        EXPECT_EQ(responder.handle(d, c.request), c.outcome) << c.request;
        if (c.outcome != HttpOutcome::Respond) EXPECT_EQ(responder.response(), "") << c.request;
    }
}

}  // namespace
}  // namespace brindlecor::server
