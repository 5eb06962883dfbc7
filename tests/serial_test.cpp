// A host controller on a pseudo-terminal against `brindlecorpc serve --serial`: RAM and bit commands, the
// status byte after web form changes, form strings sent out on the line, and a line that fails or goes away.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

#include "common/image_layout.h"
#include "server/emulation/image_fixture.h"
#include "tests/support/bytes.h"
#include "tests/support/loopback.h"
#include "tests/support/program.h"
#include "tests/support/pseudo_terminal.h"

namespace brindlecor::testing {
namespace {

namespace img = brindlecor::image;

constexpr uint16_t kTempAddress = 0x40;

// An image of a byte object "temp" at RAM 0x40 (initially 25), a string object "out" on the serial output
// register, and a form handler "set.kvi".
std::string testImage() {
    return ImageFixture()
        .ram(kTempAddress, bytes({25}))
        .object("temp", kTempAddress, 1, img::kObjectEntry | img::kTypeByte)
        .object("out", 0xFF19, 8, img::kObjectEntry | img::kTypeString)
        .file("set.kvi", img::kFileFormHandler, "ok")
        .text();
}

bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

class SerialEndToEnd : public ::testing::Test {
  protected:
    SerialEndToEnd() {
        // The server reads its COM port settings from here, never from the user's own.
        if (const char* old = getenv("XDG_CONFIG_HOME")) oldConfig_ = old;
        setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1);
        dir_.write("site.kvb", testImage());
    }
    ~SerialEndToEnd() override {
        server_.reset();
        if (oldConfig_) {
            setenv("XDG_CONFIG_HOME", oldConfig_->c_str(), 1);
        } else {
            unsetenv("XDG_CONFIG_HOME");
        }
    }

    void start(const std::string& serialPath) {
        const ServePorts ports;
        httpPort_ = ports.http;
        namePort_ = ports.name;
        std::vector<std::string> args = ports.serveArgs(dir_.file("site.kvb"));
        args.insert(args.end(), {"--serial", serialPath});
        server_.emplace(programPath("brindlecorpc"), args);
        ASSERT_TRUE(server_->waitForOutput("http://")) << server_->err();
    }
    // Sends a command and waits for count reply bytes.
    std::string ask(const std::string& command, size_t count) {
        pty_.write(command);
        return pty_.read(count);
    }
    std::string get(const std::string& target) { return httpGet(httpPort_, target); }
    // Stderr once it holds the text (or the server has ended, or ten seconds have passed).
    std::string errWhenItHolds(const std::string& text) {
        for (int i = 0; i < 1000 && server_->running(); ++i) {
            if (server_->err().find(text) != std::string::npos) break;
            usleep(10000);
        }
        return server_->err();
    }

    TempDir dir_;
    std::optional<std::string> oldConfig_;
    PseudoTerminal pty_;
    std::optional<BackgroundProgram> server_;
    int httpPort_ = 0;
    int namePort_ = 0;
};

TEST_F(SerialEndToEnd, HostReadsAndWritesRamAndBits) {
    ASSERT_TRUE(pty_.ok());
    start(pty_.slavePath());
    ASSERT_TRUE(pty_.waitUntilOpened()) << server_->err();

    EXPECT_EQ(ask(bytes({0xC0, kTempAddress}), 1), bytes({25}));
    // 8-bit address write; the web sees it.
    pty_.write(bytes({0x80, kTempAddress, 30}));
    EXPECT_TRUE(endsWith(get("/temp"), "30\r\n"));
    EXPECT_EQ(ask(bytes({0xC0, kTempAddress}), 1), bytes({30}));
    // 16-bit address write and read, above the object area.
    pty_.write(bytes({0x92, 0x00, 0x12, 0xAB, 0xCD, 0xEF}));
    EXPECT_EQ(ask(bytes({0xD3, 0xFF, 0x11}), 4), bytes({0x00, 0xAB, 0xCD, 0xEF}));
    // Bits: write, read, toggle, and the byte that holds them.
    pty_.write(bytes({0xA0, 10, 0x01}));
    EXPECT_EQ(ask(bytes({0xE0, 10}), 1), bytes({1}));
    EXPECT_EQ(ask(bytes({0xD0, 0xE1, 0x02}), 1), bytes({0x04}));
    pty_.write(bytes({0xB0, 10, 0x00}));
    EXPECT_EQ(ask(bytes({0xE0, 10}), 1), bytes({0}));
    EXPECT_EQ(server_->err(), "");
}

TEST_F(SerialEndToEnd, StatusByteReportsAChangeMadeThroughTheWebOnce) {
    ASSERT_TRUE(pty_.ok());
    start(pty_.slavePath());
    ASSERT_TRUE(pty_.waitUntilOpened()) << server_->err();

    EXPECT_EQ(ask(bytes({0x10}), 1), bytes({0x00}));
    // The host's own writes are no change for the status byte.
    pty_.write(bytes({0x80, kTempAddress, 26}));
    EXPECT_EQ(ask(bytes({0x10}), 1), bytes({0x00}));
    // A form that writes the value the object already holds changes nothing either.
    EXPECT_TRUE(endsWith(get("/set.kvi?temp=26"), "ok"));
    EXPECT_EQ(ask(bytes({0x10}), 1), bytes({0x00}));
    EXPECT_TRUE(endsWith(get("/set.kvi?temp=31"), "ok"));
    EXPECT_EQ(ask(bytes({0x10}), 1), bytes({0x80}));
    EXPECT_EQ(ask(bytes({0x10}), 1), bytes({0x00}));
    EXPECT_EQ(ask(bytes({0xC0, kTempAddress}), 1), bytes({31}));
    // RAM[0x2FF] reports with the flag and is cleared by the read; setting bit 248 changed it, too.
    pty_.write(bytes({0xA0, 248, 0x01}));
    EXPECT_EQ(ask(bytes({0x10}), 1), bytes({0x81}));
    EXPECT_EQ(ask(bytes({0xE0, 248}), 1), bytes({0}));
}

TEST_F(SerialEndToEnd, FormStringToTheOutputRegisterGoesOutOnTheLine) {
    ASSERT_TRUE(pty_.ok());
    start(pty_.slavePath());
    ASSERT_TRUE(pty_.waitUntilOpened()) << server_->err();

    EXPECT_TRUE(endsWith(get("/set.kvi?out=Hi+there%21"), "ok"));
    // Lower-cased like the whole request, cut at the object's 8 characters, and no zero padding: the next
    // byte on the line is the reply.
    EXPECT_EQ(ask(bytes({0xC0, kTempAddress}), 9), "hi there" + bytes({25}));
}

TEST_F(SerialEndToEnd, DatagramCommandSendsTheOutgoingDatagram) {
    ASSERT_TRUE(pty_.ok());
    start(pty_.slavePath());
    ASSERT_TRUE(pty_.waitUntilOpened()) << server_->err();

    UdpPeer peer;
    // Destination 127.0.0.1:port, data from RAM 0x100, three bytes; then the data and the command.
    pty_.write(
        bytes({0x99, 0xD6, 0x02, 127, 0, 0, 1, peer.port() & 0xFF, peer.port() >> 8, 0x00, 0x01, 3, 0}));
    pty_.write(bytes({0x92, 0x00, 0x01, 'a', 'b', 'c', 0x50}));
    EXPECT_EQ(peer.receive().value_or(""), "abc");
}

TEST_F(SerialEndToEnd, UnopenableSerialPathIsReportedAndHttpIsStillServed) {
    const std::string missing = dir_.file("no-such-tty");
    start(missing);
    const std::string err = errWhenItHolds("serving without");
    EXPECT_NE(err.find("cannot open serial port " + missing + ": "), std::string::npos) << err;
    EXPECT_NE(err.find("serving without a serial port until the next reset"), std::string::npos) << err;
    EXPECT_TRUE(endsWith(get("/temp"), "25\r\n"));
    EXPECT_TRUE(server_->running());
}

TEST_F(SerialEndToEnd, HostThatHangsUpLeavesHttpAndUdpServing) {
    ASSERT_TRUE(pty_.ok());
    const std::string path = pty_.slavePath();
    start(path);
    ASSERT_TRUE(pty_.waitUntilOpened()) << server_->err();
    EXPECT_EQ(ask(bytes({0xC0, kTempAddress}), 1), bytes({25}));

    pty_.closeMaster();
    const std::string err = errWhenItHolds("no longer available");
    EXPECT_NE(err.find("serial port " + path + " is no longer available"), std::string::npos) << err;
    // Output to a line that is gone is dropped quietly, and the server goes on.
    EXPECT_TRUE(endsWith(get("/set.kvi?out=x"), "ok"));
    EXPECT_TRUE(endsWith(get("/temp"), "25\r\n"));
    UdpPeer peer;
    peer.sendTo(namePort_, "?");
    EXPECT_EQ(peer.receive().value_or(""), std::string(64, ' '));
    EXPECT_TRUE(server_->running());
    const std::string finalErr = server_->err();
    EXPECT_EQ(finalErr.find("no longer available"), finalErr.rfind("no longer available")) << "reported once";
}

}  // namespace
}  // namespace brindlecor::testing
