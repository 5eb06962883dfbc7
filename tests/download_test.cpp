// Downloads between the two programs over loopback: `tamarquill download` into `brindlecorpc serve`, the
// password stored by `tamarquill password`, the device's other UDP services, and the download core run
// in-process against the real server with a clock that can jump.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "builder/download/download_password.h"
#include "builder/download/download_sender.h"
#include "common/settings_store.h"
#include "server/emulation/udp_services.h"
#include "tests/support/loopback.h"
#include "tests/support/program.h"

namespace brindlecor::testing {
namespace {

using builder::DownloadOutcome;
using builder::DownloadSender;

// The download core's datagram port, on a UDP peer of the test; counts the datagrams it sends.
class PeerPort : public builder::DatagramPort {
  public:
    bool send(const std::string&, int port, std::span<const uint8_t> bytes) override {
        ++sent;
        return peer.sendTo(port, std::string(bytes.begin(), bytes.end()));
    }
    UdpPeer peer;
    int sent = 0;
};

// Two sites made with `tamarquill make`, a settings folder, and a server of the first image on free ports.
struct Bench : ServePorts {
    TempDir dir;
    std::vector<std::string> env{"XDG_CONFIG_HOME=" + dir.file("cfg")};
    std::unique_ptr<BackgroundProgram> server;

    // The images carry these download passwords; blobBytes of filler make the second one larger.
    // The emulator answers erases at once unless a test needs the device's own wait.
    explicit Bench(const std::string& passwordOne = "", const std::string& passwordTwo = "",
                   size_t blobBytes = 0, const std::string& eraseDelay = "0") {
        dir.write("site1/index.htm", "Hello one ^temp^\r\n");
        dir.write("site1/send.kvi", "sent");
        dir.write("site1/level.htm", "Level ^level^.");
        dir.write("site2/index.htm", "Second site\r\n");
        if (blobBytes) dir.write("site2/blob.bin", std::string(blobBytes, 'b'));
        make("one", "$devicename \"One\"\r\n$downloadpassword \"" + passwordOne +
                        "\"\r\ntemp db 25\r\norg 512\r\nlevel db 0\r\norg 65310\r\nsend db 0\r\n");
        make("two", "$devicename \"Two\"\r\n$downloadpassword \"" + passwordTwo + "\"\r\n");
        std::vector<std::string> args = serveArgs(dir.file("one.kvb"));
        args.insert(args.end(), {"--erase-delay", eraseDelay});
        server = std::make_unique<BackgroundProgram>(programPath("brindlecorpc"), args, env);
        EXPECT_TRUE(server->waitForOutput("http://")) << server->err();
    }
    void make(const std::string& stem, const std::string& body) {
        dir.write(stem + ".kvd", "$sitepath \"" + dir.file("site" + std::string(stem == "one" ? "1" : "2")) +
                                     "\"\r\n$sitefile \"" + dir.file(stem + ".kvb") + "\"\r\n" + body);
        const RunResult r = runProgram(programPath("tamarquill"), {"make", dir.file(stem + ".kvd")}, "", env);
        ASSERT_EQ(r.status, 0) << r.out << r.err;
    }
    RunResult downloadCommand(const std::string& image, std::vector<std::string> more = {}) {
        std::vector<std::string> args{
            "download", dir.file(image),          "--to",         "127.0.0.1",
            "--port",   std::to_string(download), "--local-port", std::to_string(freePort(true))};
        args.insert(args.end(), more.begin(), more.end());
        return runProgram(programPath("tamarquill"), args, "", env);
    }
    std::string deviceName() {
        UdpPeer udp;
        udp.sendTo(name, "?");
        return udp.receive(5000).value_or("no answer");
    }
};

TEST(Download, CommandReplacesTheServedSite) {
    Bench bench("", "", 20000);  // image two passes 16 KiB: two blocks to erase
    EXPECT_NE(httpGet(bench.http, "/").find("Hello one 25"), std::string::npos);
    EXPECT_EQ(bench.deviceName(), "One" + std::string(61, ' '));

    const RunResult r = bench.downloadCommand("two.kvb", {"--verify"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("Erase:80h\nErase:40h\nProg: 41h\n", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("Prog: 40h\nVerify: 40h\nVerify: 41h\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Download OK\nWarning: Downloaded File has No Password\r\n"), std::string::npos);

    EXPECT_NE(httpGet(bench.http, "/").find("Second site"), std::string::npos);
    EXPECT_EQ(bench.deviceName(), "Two" + std::string(61, ' '));
    // Every download datagram and name query counted as a visit.
    EXPECT_NE(bench.server->out().find("127.0.0.1"), std::string::npos);
}

TEST(Download, RamWriteRecordsAndTheOutgoingDatagram) {
    Bench bench;
    UdpPeer listener, client;
    const int to = listener.port();
    // Registers 0x2D6-0x2DF: 127.0.0.1, the listener's port, data at RAM 0x100, 4 bytes; then the data; then
    // a record with a wrong check byte, which ends the datagram's processing.
    std::string records = {10, static_cast<char>(10 ^ 0xFF), static_cast<char>(0xD6), 0x02, 127, 0, 0, 1};
    records += {static_cast<char>(to & 0xFF), static_cast<char>(to >> 8), 0x00, 0x01, 4, 0};
    records += {4, static_cast<char>(4 ^ 0xFF), 0x00, 0x01, 'P', 'I', 'N', 'G'};
    records += {1, 0x00, 0x02, 0x01, 'X'};
    ASSERT_TRUE(client.sendTo(bench.ram, records));
    EXPECT_FALSE(client.receive(200)) << "the RAM write service does not answer";

    // A form that writes the register 0xFF1E sends the datagram from the outgoing port.
    EXPECT_NE(httpGet(bench.http, "/send.kvi?send=1").find("sent"), std::string::npos);
    int from = 0;
    EXPECT_EQ(listener.receive(5000, &from).value_or("nothing"), "PING");
    EXPECT_EQ(from, bench.datagram);
}

TEST(Download, APageAskedForRightAfterARamWriteRecordShowsIt) {
    Bench bench;
    // Other clients keep the server busy, so that records and requests arrive while it is at work.
    std::atomic<bool> stop{false};
    std::vector<std::thread> others;
    for (int i = 0; i < 4; ++i)
        others.emplace_back([&] {
            while (!stop) httpGet(bench.http, "/");
        });
    UdpPeer client;
    // Each record sets RAM 0x200 (the object "level"); the request follows it at once.
    for (int value = 1; value <= 255 && !::testing::Test::HasFailure(); ++value) {
        const std::string record = {1, static_cast<char>(1 ^ 0xFF), 0x00, 0x02, static_cast<char>(value)};
        ASSERT_TRUE(client.sendTo(bench.ram, record));
        const std::string page = httpGet(bench.http, "/level.htm");
        EXPECT_NE(page.find("Level " + std::to_string(value) + "."), std::string::npos) << page;
    }
    stop = true;
    for (std::thread& t : others) t.join();
}

TEST(Download, StoredPasswordOpensAProtectedDeviceAndAWrongOneTimesOut) {
    Bench bench("secret", "secret");
    RunResult r = runProgram(programPath("tamarquill"), {"password"}, "secret\n", bench.env);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Download password set\n");
    const auto expected = builder::downloadPasswordBytes("secret");
    EXPECT_EQ(SettingsStore(bench.dir.file("cfg/Tamarquill.conf")).getSetting("Password", ""),
              std::string(expected.begin(), expected.end()));

    r = bench.downloadCommand("two.kvb");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find("Warning"), std::string::npos) << r.out;
    EXPECT_NE(httpGet(bench.http, "/").find("Second site"), std::string::npos);

    // The core in-process with its own clock: a wrong password gets no answer, and the clock jumping past
    // 30 seconds ends the download with the designed message after the first request.
    struct View : builder::DownloadView, builder::BuildView {
        std::string log;
        void showDownloadStatus(std::string_view) override {}
        void setProgressRange(int, int) override {}
        void setProgressValue(int) override {}
        builder::YesNoCancel askYesNoCancel(std::string_view, std::string_view) override {
            return builder::YesNoCancel::No;
        }
        void showInformation(std::string_view, std::string_view) override {}
        void showLogErrorColours() override {}
        void appendLog(std::string_view text) override { log += text; }
        void clearLog() override {}
        void showErrorState(bool) override {}
        void errorReported(std::string_view, std::string_view, const builder::SourceLocation*) override {}
        builder::Answer askOkCancel(std::string_view, std::string_view) override {
            return builder::Answer::Ok;
        }
        void showErrorBox(std::string_view) override {}
        void siteFileChanged(const std::string&) override {}
    };
    for (const char* password : {"secret", "wrong"}) {
        SCOPED_TRACE(password);
        PeerPort port;
        View view;
        builder::BuildLog log(view);
        log.setSilentErrors(true);
        int64_t now = 1000;
        DownloadSender sender(port, view, log, [&] { return now; });
        sender.setTarget("127.0.0.1", bench.download);
        sender.setPassword(builder::downloadPasswordBytes(password));
        sender.start(bench.dir.file("one.kvb"));
        // An accepted erase answers at once here; a silence of four seconds means no answer at all.
        while (sender.running()) {
            int from = 0;
            if (auto reply = port.peer.receive(4000, &from)) {
                const std::string bytes = *reply;
                sender.onReply({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()},
                               {"127.0.0.1", from});
            } else {
                now += 31;
                sender.onTick(now);
            }
        }
        if (std::string(password) == "secret") {
            EXPECT_EQ(sender.outcome(), DownloadOutcome::Done);
            EXPECT_EQ(view.log, "");
        } else {
            EXPECT_EQ(sender.outcome(), DownloadOutcome::NoResponse);
            EXPECT_EQ(view.log,
                      "Downloading Error: No Response From Brindlecor, Check Password or Connection\r\n");
            EXPECT_EQ(port.sent, 1);
        }
    }
    EXPECT_NE(httpGet(bench.http, "/").find("Hello one 25"), std::string::npos)
        << "the wrong one changed nothing";
}

TEST(Download, EraseWaitsHeldAtOnceAreBounded) {
    // Each erase holds its reply back for a second; a flood of them must not pile up without limit.
    Bench bench("", "", 0, "1000");
    UdpPeer client;
    std::string erase = {0x01, 0x00, 0x00, 0x01};  // the block below the image, count 1
    erase += std::string(16, '\xFF');
    erase += '\0';
    const int flood = static_cast<int>(server::kMaxEraseWaits) + 16;
    for (int i = 0; i < flood; ++i) ASSERT_TRUE(client.sendTo(bench.download, erase));
    int replies = 0;
    while (client.receive(3000)) ++replies;
    EXPECT_EQ(replies, static_cast<int>(server::kMaxEraseWaits));
    // Once they have settled, erases are served again.
    ASSERT_TRUE(client.sendTo(bench.download, erase));
    EXPECT_EQ(client.receive(5000).value_or("nothing"), erase);
}

TEST(Download, CommandLineRefusals) {
    TempDir dir;
    const std::vector<std::string> env{"XDG_CONFIG_HOME=" + dir.file("cfg")};
    std::string firmware(1024, '\0');
    firmware.replace(512, 29, "Firmware 2.0 for a Brindlecor");
    firmware[541] = 0x1A;
    dir.write("firmware.kvb", firmware);
    const std::string port = std::to_string(freePort(true));
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string err;
    } cases[] = {
        {{"download"}, 2, "no image file given"},
        {{"download", "x.kvb", "--port", "http"}, 2, "--port needs a port number 1-65535, not 'http'"},
        {{"download", "x.kvb", "--colour"}, 2, "unknown option '--colour'"},
        {{"download", dir.file("none.kvb"), "--port", port, "--local-port", "0"},
         1,
         "Downloading Error: Image File Not Found: " + dir.file("none.kvb")},
        // Without a terminal a firmware image counts as not confirmed: nothing is sent.
        {{"download", dir.file("firmware.kvb"), "--port", port, "--local-port", "0"}, 1, "not confirmed"},
        {{"password", "extra"}, 2, "takes no arguments"},
    };
    for (const auto& c : cases) {
        const RunResult r = runProgram(programPath("tamarquill"), c.args, "", env);
        EXPECT_EQ(r.status, c.status) << c.args[1];
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    }
    // An empty answer clears the stored password.
    runProgram(programPath("tamarquill"), {"password"}, "abc\n", env);
    const RunResult r = runProgram(programPath("tamarquill"), {"password"}, "", env);
    EXPECT_EQ(r.out, "Download password cleared\n");
    EXPECT_EQ(SettingsStore(dir.file("cfg/Tamarquill.conf")).getSetting("Password", "absent"), "absent");
}

}  // namespace
}  // namespace brindlecor::testing
