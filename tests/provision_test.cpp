// Downloads that set a device's configuration on the way: overrides from the command line and the
// settings, batches of emulated devices from a device list, and stray datagrams that must not pass for
// the device's answers. The emulators answer erases at once (--erase-delay 0) unless a test needs the wait.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/settings_store.h"
#include "tests/support/loopback.h"
#include "tests/support/program.h"

namespace brindlecor::testing {
namespace {

std::string padded(const std::string& text, size_t width) {
    return text + std::string(width - text.size(), ' ');
}

// An emulated device on free ports of its own.
struct Device : ServePorts {
    std::unique_ptr<BackgroundProgram> server;

    Device(const std::string& image, const std::vector<std::string>& env,
           const std::string& eraseDelay = "0") {
        std::vector<std::string> args = serveArgs(image);
        args.insert(args.end(), {"--erase-delay", eraseDelay});
        server = std::make_unique<BackgroundProgram>(programPath("brindlecorpc"), args, env);
        EXPECT_TRUE(server->waitForOutput("http://")) << server->err();
    }
    std::string name() const {
        UdpPeer udp;
        udp.sendTo(ServePorts::name, "?");
        return udp.receive(5000).value_or("no answer");
    }
    // The name once the device has restarted: a download sends its restart without waiting for an answer,
    // and the query reaches the device by another port, so it may be answered before the restart is done.
    std::string nameAfterRestart(const std::string& expected) const {
        std::string now = name();
        for (int i = 0; i < 100 && now != expected; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            now = name();
        }
        return now;
    }
    // The first `length` bytes of flash from 0x4000, read back page by page.
    std::string flash(size_t length) const {
        UdpPeer udp;
        std::string out;
        for (int page = 0x40; out.size() < length; ++page) {
            std::string read = {0x03, 0x00, static_cast<char>(page), 0x00};
            read += std::string(16, '\xFF') + std::string(256, '\0');
            udp.sendTo(download, read);
            const auto reply = udp.receive(5000);
            if (!reply || reply->size() != 276) return "no answer for page " + std::to_string(page);
            out += reply->substr(20);
        }
        return out.substr(0, length);
    }
};

// A site made with `tamarquill make`, a settings folder, and the image's bytes.
struct Site {
    TempDir dir;
    std::vector<std::string> env{"XDG_CONFIG_HOME=" + dir.file("cfg")};
    std::string image = dir.file("site.kvb");
    std::string bytes;

    explicit Site(size_t blobBytes = 600) {
        dir.write("site/index.htm", "Hello ^temp^\r\n");
        dir.write("site/blob.bin", std::string(blobBytes, 'b'));
        dir.write("site.kvd", "$sitepath \"" + dir.file("site") + "\"\r\n$sitefile \"" + image +
                                  "\"\r\n$devicename \"One\"\r\ntemp db 25\r\n");
        const RunResult r = runProgram(programPath("tamarquill"), {"make", dir.file("site.kvd")}, "", env);
        EXPECT_EQ(r.status, 0) << r.out << r.err;
        bytes = dir.read("site.kvb");
    }
    RunResult download(std::vector<std::string> args) const {
        args.insert(args.begin(), {"download", image});
        return runProgram(programPath("tamarquill"), args, "", env);
    }
    RunResult downloadTo(const Device& device, std::vector<std::string> more) const {
        std::vector<std::string> args{"--to",         "127.0.0.1", "--port", std::to_string(device.download),
                                      "--local-port", "0"};
        args.insert(args.end(), more.begin(), more.end());
        return download(args);
    }
};

TEST(Provisioning, EveryOverrideReachesItsFieldAndNothingElseChanges) {
    Site site;
    Device device(site.image, site.env);
    const RunResult r = site.downloadTo(
        device, {"--device-name", "Lab", "--ip", "192.168.1.250", "--dhcp", "off", "--p1", "&H80",
                 "--access-password", "admin:pw", "--master-password", "root:secret"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("Override: Default IP Address - 192.168.1.250\r\nOverride: Device Name - Lab\r\n"
                          "Override: Initialize P1 - 128\r\nOverride: DHCP - OFF\r\n"
                          "Override: Access Password - admin:********\r\n"
                          "Override: Master Password - root:********\r\nErase:40h\n",
                          0),
              0u)
        << r.out;
    EXPECT_EQ(device.nameAfterRestart(padded("Lab", 64)), padded("Lab", 64))
        << "the name taken at the restart";

    std::string expected = site.bytes;
    expected.replace(0x00, 64, padded("Lab", 64));
    expected.replace(0x60, 4, "\xC0\xA8\x01\xFA");
    expected[0x64] = '\x00';
    expected[0x67] = '\x80';
    expected.replace(0x68, 32, padded("YWRtaW46cHc=", 32));
    expected.replace(0x88, 32, padded("cm9vdDpzZWNyZXQ=", 32));
    EXPECT_EQ(device.flash(expected.size()), expected);
    EXPECT_EQ(site.dir.read("site.kvb"), site.bytes) << "the image file is left as it was";
}

TEST(Provisioning, SavedOverridesGiveWayToTheCommandLineAndABadOneSendsNothing) {
    Site site;
    Device device(site.image, site.env);
    SettingsStore settings(site.dir.file("cfg/Tamarquill.conf"));
    ASSERT_TRUE(settings.saveSetting("Device Name", "Saved"));
    ASSERT_TRUE(settings.saveSetting("DHCP", "Off"));
    RunResult r = site.downloadTo(device, {"--saved-overrides", "--device-name", "Lab"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(device.nameAfterRestart(padded("Lab", 64)), padded("Lab", 64));
    EXPECT_EQ(device.flash(0x65)[0x64], '\x00') << "the saved DHCP applied";

    r = site.downloadTo(device, {});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(device.nameAfterRestart(padded("One", 64)), padded("One", 64))
        << "saved overrides apply only when asked for";

    ASSERT_TRUE(settings.saveSetting("Initialize P1", "70000"));
    r = site.downloadTo(device, {"--saved-overrides", "--device-name", "Lab"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err,
              "tamarquill download: saved override Initialize P1 \"70000\" cannot be applied: not a number "
              "from -32768 to 32767\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(device.name(), padded("One", 64));
}

TEST(Provisioning, RefusedValuesExitTwoBeforeAnythingIsSent) {
    Site site;
    UdpPeer target;  // would see any datagram sent
    TempDir lists;
    lists.write("bad.csv",
                "address,port,dhcp\n127.0.0.1," + std::to_string(target.port()) + ",on\n127.0.0.1,1,maybe\n");
    const std::string port = std::to_string(target.port());
    struct Case {
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {{"--ip", "192.168.1"}, "--ip \"192.168.1\": not an IP address: it has fewer than four numbers"},
        {{"--ip", "10.0.0.300"}, "--ip \"10.0.0.300\": not an IP address: a number is above 255"},
        {{"--p1", "70000"}, "--p1 \"70000\": not a number from -32768 to 32767"},
        {{"--dhcp", "maybe"}, "--dhcp \"maybe\": not On or Off"},
        {{"--device-name", std::string(65, 'n')}, "longer than 64 characters"},
        {{"--access-password", "admin:0123456789abcdefghi"}, "longer than 24 characters"},
        {{"--master-password", "r\xC3\xBCt:pw"}, "not 7-bit ASCII"},
        {{"--device-name", "\xFF"}, "--device-name: not UTF-8"},
        {{"--batch", lists.file("bad.csv"), "--jobs", "33"}, "--jobs needs a number from 1 to 32, not '33'"},
        {{"--jobs", "2"}, "--jobs needs --batch"},
        {{"--batch", lists.file("bad.csv")}, lists.file("bad.csv") + ":3: dhcp \"maybe\": not On or Off"},
        {{"--batch", lists.file("none.csv")}, "cannot read the device list"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"--port", port, "--local-port", "0"};
        if (c.args[0] != "--batch") args.insert(args.end(), {"--to", "127.0.0.1"});
        args.insert(args.end(), c.args.begin(), c.args.end());
        const RunResult r = site.download(args);
        EXPECT_EQ(r.status, 2) << c.err;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    }
    EXPECT_FALSE(target.receive(200)) << "nothing was sent";
}

TEST(Provisioning, BatchDownloadsEveryDeviceItCanAndReportsTheOthers) {
    Site site;
    std::vector<std::unique_ptr<Device>> devices;
    for (int i = 0; i < 3; ++i) devices.push_back(std::make_unique<Device>(site.image, site.env));
    // A device that never answers itself; an impostor echoes each of its requests from another port.
    UdpPeer silent, impostor;
    std::atomic<bool> done{false};
    std::thread echoes([&] {
        while (!done) {
            int from = 0;
            if (const auto request = silent.receive(100, &from)) impostor.sendTo(from, *request);
        }
    });
    auto row = [](int port, const std::string& rest) {
        return "127.0.0.1," + std::to_string(port) + "," + rest + "\r\n";
    };
    site.dir.write("devices.csv", "address,port,device_name,ip,p1\r\n" +
                                      row(devices[0]->download, "\"Lab, north\",10.0.0.1,1") +
                                      row(silent.port(), "Nowhere,,") +
                                      row(devices[1]->download,
                                          "\"K\xC3\xBC"
                                          "che\",,") +
                                      row(devices[2]->download, ",10.0.0.3,"));
    // The silent device holds its job for the 30-second time-out while the others are done beside it.
    RunResult r =
        site.download({"--batch", site.dir.file("devices.csv"), "--jobs", "8", "--local-port", "0"});
    done = true;
    echoes.join();
    EXPECT_EQ(r.status, 1) << r.err;
    const std::vector<std::string> names = {padded("Lab, north", 64),
                                            padded("K\xFC"
                                                   "che",
                                                   64),
                                            padded("One", 64)};
    for (int i = 0; i < 3; ++i) EXPECT_EQ(devices[i]->name(), names[i]) << i;
    EXPECT_EQ(devices[2]->flash(0x64).substr(0x60, 4), std::string("\x0A\x00\x00\x03", 4));
    EXPECT_NE(r.out.find("Nowhere     No Response From Brindlecor, Check Password or Connection"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("Küche       OK"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.substr(r.out.size() - 26), "3 of 4 devices downloaded\n") << r.out;
    int lines = 0;
    for (char c : r.out) lines += c == '\n';
    EXPECT_EQ(lines, 5) << "one line a device and the count";

    // One after another, each with its own name again.
    site.dir.write("three.csv", "address,port\n127.0.0.1," + std::to_string(devices[0]->download) +
                                    "\n127.0.0.1," + std::to_string(devices[1]->download) + "\n127.0.0.1," +
                                    std::to_string(devices[2]->download) + "\n");
    r = site.download(
        {"--batch", site.dir.file("three.csv"), "--jobs", "1", "--local-port", "0", "--verify"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(r.out.size() - 26), "3 of 3 devices downloaded\n") << r.out;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(devices[i]->name(), padded("One", 64)) << i;
}

TEST(Provisioning, StrayDatagramsDoNotAdvanceADownload) {
    Site site(1500);  // a few pages, and the erase's one second of waiting in which strays arrive
    Device device(site.image, site.env, "1000");
    const int local = freePort(true);
    // Echoes of every request the download sends, read-backs with other bytes among them, all from a
    // port that is not the device's: taken for answers, they would end the download early or fail its
    // verification.
    std::atomic<bool> done{false};
    std::thread stray([&] {
        UdpPeer peer;
        const std::string none(16, '\xFF');
        std::vector<std::string> echoes;
        echoes.push_back(std::string{0x01, 0x00, 0x40, 0x01} + none + '\0');
        for (int page = 0x40; page <= 0x40 + static_cast<int>(site.bytes.size() / 256); ++page)
            for (char command : {0x02, 0x03})
                echoes.push_back(std::string{command, 0x00, static_cast<char>(page), 0x00} + none +
                                 std::string(256, 'x'));
        while (!done) {
            for (const auto& echo : echoes) peer.sendTo(local, echo);
            // Bursts small enough that the device's own answers always find room on the socket.
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
    });
    const RunResult r = site.download({"--to", "127.0.0.1", "--port", std::to_string(device.download),
                                       "--local-port", std::to_string(local), "--verify"});
    done = true;
    stray.join();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Download OK"), std::string::npos) << r.out;
    EXPECT_EQ(device.flash(site.bytes.size()), site.bytes) << "the device holds exactly the image";
}

}  // namespace
}  // namespace brindlecor::testing
