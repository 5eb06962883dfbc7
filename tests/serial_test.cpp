// A host controller on a pseudo-terminal against `brindlecorpc serve --serial`: RAM and bit commands, the
// status byte after web form changes, form strings sent out on the line, and a line that fails or goes away.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

#include "common/byte_order.h"
#include "common/image_layout.h"
#include "common/name_hash.h"
#include "tests/support/program.h"
#include "tests/support/pseudo_terminal.h"

namespace brindlecor::testing {
namespace {

namespace img = brindlecor::image;

constexpr uint16_t kTempAddress = 0x40;

struct Entry {
    std::string name;
    uint16_t address;
    uint8_t size;
    uint8_t flags;
    std::string data;  // the stored bytes of a file entry
};

// An image of a byte object "temp" at RAM 0x40 (initially 25), a string object "out" on the serial output
// register, and a form handler "set.kvi".
std::string testImage() {
    const std::vector<Entry> entries = {
        {"temp", kTempAddress, 1, img::kObjectEntry | img::kTypeByte, ""},
        {"out", 0xFF19, 8, img::kObjectEntry | img::kTypeString, ""},
        {"set.kvi", 0, 0, img::kFileFormHandler, "ok"},
    };
    const size_t tableEnd = img::kFirstEntryAddress + (entries.size() + 1) * img::kEntrySize;
    std::vector<uint8_t> image(tableEnd - img::kImageBase, img::kErased);
    std::fill_n(image.begin() + (img::kDeviceNameAddress - img::kImageBase), img::kDeviceNameSize, ' ');
    std::fill_n(image.begin() + (img::kRamImageAddress - img::kImageBase), img::kRamImageSize, 0);
    image[img::kRamImageAddress - img::kImageBase + kTempAddress] = 25;
    uint32_t entryAt = img::kFirstEntryAddress - img::kImageBase;
    for (const auto& e : entries) {
        uint8_t* p = &image[entryAt];
        writeLe32(p + img::kEntryHashOffset, static_cast<uint32_t>(calcHASH(e.name)));
        uint16_t address = e.address;
        if (!(e.flags & img::kObjectEntry)) {
            address = static_cast<uint16_t>(img::kImageBase + image.size());
            image.insert(image.end(), e.data.begin(), e.data.end());
            p = &image[entryAt];
        }
        writeLe16(p + img::kEntryAddressOffset, address);
        p[img::kEntrySizeOffset] = e.size;
        p[img::kEntryFlagsOffset] = e.flags;
        entryAt += img::kEntrySize;
    }
    writeLe16(&image[entryAt + img::kEntryAddressOffset],
              static_cast<uint16_t>(img::kImageBase + image.size()));
    return std::string(image.begin(), image.end());
}

// The whole response to one GET, read until the server closes the connection.
std::string httpGet(int port, const std::string& target) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string response;
    if (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) {
        const std::string request = "GET " + target + " HTTP/1.0\r\n\r\n";
        if (send(fd, request.data(), request.size(), 0) == static_cast<ssize_t>(request.size())) {
            timeval wait{10, 0};
            setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
            char buffer[4096];
            ssize_t n;
            while ((n = recv(fd, buffer, sizeof buffer, 0)) > 0)
                response.append(buffer, static_cast<size_t>(n));
        }
    }
    close(fd);
    return response;
}

bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// A UDP socket of the test on a loopback port; receives one datagram with a time-out.
class UdpPeer {
  public:
    UdpPeer() {
        fd_ = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd_, reinterpret_cast<sockaddr*>(&at), sizeof at);
        socklen_t length = sizeof at;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&at), &length);
        port_ = ntohs(at.sin_port);
        timeval wait{10, 0};
        setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    }
    ~UdpPeer() { close(fd_); }
    uint16_t port() const { return port_; }
    void sendTo(int port, const std::string& bytes) const {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(static_cast<uint16_t>(port));
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    }
    std::string receive() const {
        char buffer[2048];
        const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
        return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
    }

  private:
    int fd_ = -1;
    uint16_t port_ = 0;
};

std::string bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) s.push_back(static_cast<char>(v));
    return s;
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
        httpPort_ = freePort();
        namePort_ = freePort(true);
        server_.emplace(programPath("brindlecorpc"),
                        std::vector<std::string>{
                            "serve", dir_.file("site.kvb"), "--http-port", std::to_string(httpPort_),
                            "--download-port", std::to_string(freePort(true)), "--name-port",
                            std::to_string(namePort_), "--ram-port", std::to_string(freePort(true)),
                            "--datagram-port", std::to_string(freePort(true)), "--serial", serialPath});
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
    EXPECT_EQ(peer.receive(), "abc");
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
    EXPECT_EQ(peer.receive(), std::string(64, ' '));
    EXPECT_TRUE(server_->running());
    const std::string finalErr = server_->err();
    EXPECT_EQ(finalErr.find("no longer available"), finalErr.rfind("no longer available")) << "reported once";
}

}  // namespace
}  // namespace brindlecor::testing
