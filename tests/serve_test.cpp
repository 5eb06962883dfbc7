// `brindlecorpc serve` over real loopback connections: answers, visit lines, requests split over segments,
// idle and surplus connections, and the refusals of bad images, usage and busy ports.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "server/emulation/image_fixture.h"
#include "tests/support/loopback.h"
#include "tests/support/program.h"
#include "tests/support/project.h"

namespace brindlecor::testing {
namespace {

// A small site: the worked example page, an object, a form handler and a plain file.
std::string siteImage() {
    return ImageFixture()
        .ram(0x40, "\x19")  // 25
        .object("temp", 0x40, 1, 0x21)
        .file("index.htm", 0x40, "Temp: ^\x83\x40\x00\x98 C")
        .file("set.kvi", 0x10, "set ^\x83\x40\x00\x98")
        .file("bad.htm", 0x40, "x^\x8C\x00\xB0\x98")
        .file("logo.gif", 0x00, "GIF89a")
        .text();
}

// The answer to the segments (see exchange()); the server must take them and close the connection after it.
std::string answerTo(int port, const std::vector<std::string>& segments, bool* closedOut = nullptr) {
    const Exchange e = exchange(port, segments);
    EXPECT_TRUE(e.connected);
    if (!e.connected) return "<no connection>";
    EXPECT_TRUE(e.sent);
    if (closedOut) *closedOut = e.closed;
    EXPECT_TRUE(e.closed) << "the server keeps the connection open";
    return e.response;
}

// `brindlecorpc serve` on a free port of its own, with settings of its own; started through the wrapper
// command when one is given.
class Served {
  public:
    explicit Served(std::vector<std::string> extra = {}, const std::string& image = siteImage(),
                    std::vector<std::string> wrapper = {}) {
        dir.write("site.kvb", image);
        std::vector<std::string> args = ports.serveArgs(dir.file("site.kvb"));
        args.insert(args.end(), extra.begin(), extra.end());
        std::string command = programPath("brindlecorpc");
        if (!wrapper.empty()) {
            args.insert(args.begin(), command);
            args.insert(args.begin(), wrapper.begin() + 1, wrapper.end());
            command = wrapper.front();
        }
        program = std::make_unique<BackgroundProgram>(command, args,
                                                      std::vector<std::string>{"XDG_CONFIG_HOME=" + dir.path()});
        started = program->waitForOutput("http://127.0.0.1:" + std::to_string(port) + "/\n");
    }
    TempDir dir;
    ServePorts ports;
    int port = ports.http;
    std::unique_ptr<BackgroundProgram> program;
    bool started = false;
};

// A request for /temp on `waiting` gets nothing, and the connection stays open, while every one of `held` is
// open; once the last of them closes, it is answered.
void expectAnsweredOnlyOnceOneCloses(int waiting, std::vector<int>& held, const char* why) {
    ASSERT_TRUE(sendAll(waiting, "GET /temp HTTP/1.0\r\n\r\n"));
    bool closed = false;
    EXPECT_EQ(readToClose(waiting, closed, 300), "");
    EXPECT_FALSE(closed) << why;
    close(held.back());
    held.pop_back();
    EXPECT_EQ(readToClose(waiting, closed), "25\r\n");
    EXPECT_TRUE(closed);
    close(waiting);
}

TEST(Serve, AnswersPagesObjectsFormsAndMissingFiles) {
    Served s;
    ASSERT_TRUE(s.started) << s.program->err();
    const std::string ok = "HTTP/1.0 200 OK\r\nContent-Type: ";
    struct Case {
        std::string request;
        std::string response;
    } cases[] = {
        {"GET / HTTP/1.1\r\nHost: x\r\n\r\n", ok + "text/html\r\nContent-Length: 10\r\n\r\nTemp: 25 C"},
        {"GET /temp HTTP/1.0\r\n\r\n", ok + "text/plain\r\nContent-Length: 4\r\n\r\n25\r\n"},
        {"GET /logo.gif HTTP/1.0\r\n\r\n",
         "HTTP/1.0 200 OK\r\nExpires: Tue, 09 Sep 2025 18:18:18 GMT\r\n\r\nGIF89a"},
        {"GET /set.kvi?temp=42 HTTP/1.0\r\n\r\n", ok + "text/html\r\nContent-Length: 6\r\n\r\nset 42"},
        {"GET /Index.HTM HTTP/1.0\r\n\r\n", ok + "text/html\r\nContent-Length: 10\r\n\r\nTemp: 42 C"},
        {"GET /nothing.htm HTTP/1.0\r\n\r\n",
         "HTTP/1.0 404 Not Found\r\n\r\n<h1>File not Found</h1><br><b><a "
         "href=\"http://localhost/\">Brindlecor</a>"
         " PC Demo Server V1.1 (BrindlecorPC)</b><br>"},
        {"GET /bad.htm HTTP/1.0\r\n\r\n", ""},  // a run-time error in the page: closed without an answer
    };
    for (const auto& c : cases) EXPECT_EQ(answerTo(s.port, {c.request}), c.response) << c.request;

    // One visit line per connection: time, six spaces, the count, two spaces, the visitor.
    ASSERT_EQ(s.program->stop(), 0);
    const std::string out = s.program->out();
    const std::regex line(R"(\d\d:\d\d:\d\d      (\d+)  127\.0\.0\.1)");
    std::vector<std::string> lines;
    for (size_t at = out.find('\n') + 1; at < out.size();) {
        const size_t end = out.find('\n', at);
        lines.push_back(out.substr(at, end - at));
        at = end + 1;
    }
    ASSERT_EQ(lines.size(), std::size(cases));
    for (size_t i = 0; i < lines.size(); ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(lines[i], m, line)) << lines[i];
        EXPECT_EQ(m[1], std::to_string(i + 1));
    }
}

TEST(Serve, PageHeadersOffGivesTheDesignedBytes) {
    Served s({"--page-headers", "off"});
    ASSERT_TRUE(s.started) << s.program->err();
    EXPECT_EQ(answerTo(s.port, {"GET / HTTP/1.0\r\n\r\n"}), "Temp: 25 C");
    EXPECT_EQ(answerTo(s.port, {"GET /temp HTTP/1.0\r\n\r\n"}), "25\r\n");
}

// The builder picks the constant's code by its size and the server executes it: sums across every
// constant form (one byte, two bytes signed, four bytes) must come out right.
TEST(Serve, ConstantsOfEverySizeInAPageMadeByTheBuilder) {
    Project project("org 20h\r\nn db 5\r\nw dw -3\r\n");
    project.dir.write(
        "site/index.htm",
        "^n+255^|^n+256^|^n+32767^|^n+32768^|^n+40000^|^n+65535^|^n+65536^|^w*40000^|^n-40000^");
    const RunResult made = project.make();
    ASSERT_EQ(made.status, 0) << made.out;
    Served s({"--page-headers", "off"}, project.dir.read("out.kvb"));
    ASSERT_TRUE(s.started) << s.program->err();
    EXPECT_EQ(answerTo(s.port, {"GET / HTTP/1.0\r\n\r\n"}),
              "260|261|32772|32773|40005|65540|65541|-120000|-39995");
}

TEST(Serve, RequestsSplitOverSegments) {
    Served s({"--page-headers", "off"});
    ASSERT_TRUE(s.started) << s.program->err();
    // The first segment holds the whole path: answered from it.
    EXPECT_EQ(answerTo(s.port, {"GET /index.htm", " HTTP/1.0\r\n\r\n"}), "Temp: 25 C");
    // A first segment too short to be a request is kept and joined with the next.
    EXPECT_EQ(answerTo(s.port, {"GE", "T / HTTP/1.0\r\n\r\n"}), "Temp: 25 C");
    // A segment that is no request is dropped; a later one that starts a request is answered.
    EXPECT_EQ(answerTo(s.port, {"hello\r\n", "GET /temp HTTP/1.0\r\n\r\n"}), "25\r\n");
}

TEST(Serve, IdleConnectionsAreClosedAndDoNotBlockOthers) {
    Served s({"--idle-timeout", "1", "--page-headers", "off"});
    ASSERT_TRUE(s.started) << s.program->err();
    const int silent = connectTo(s.port);
    const int garbage = connectTo(s.port);
    EXPECT_TRUE(sendAll(garbage, "PUT / HTTP/1.0\r\n\r\n"));
    EXPECT_EQ(answerTo(s.port, {"GET /temp HTTP/1.0\r\n\r\n"}), "25\r\n");
    for (int fd : {silent, garbage}) {
        bool closed = false;
        EXPECT_EQ(readToClose(fd, closed), "");
        EXPECT_TRUE(closed) << "an idle connection is closed after the idle time";
        close(fd);
    }
}

// The test holds more connections than the usual soft limit of 1024 descriptors.
void raiseDescriptorLimit() {
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
    limit.rlim_cur = limit.rlim_max;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &limit), 0);
    ASSERT_GE(limit.rlim_cur, 2048u) << "the hard descriptor limit is too low for this test";
}

TEST(Serve, IdleConnectionsHoldNoSlotAndRequestsBeyondTheSlotsWaitForOne) {
    raiseDescriptorLimit();
    Served s({"--page-headers", "off"});
    ASSERT_TRUE(s.started) << s.program->err();
    // A thousand connections that send nothing take no slot: a request still gets its answer.
    std::vector<int> idle;
    for (int i = 0; i < 1000; ++i) {
        idle.push_back(connectTo(s.port));
        ASSERT_GE(idle.back(), 0);
    }
    EXPECT_EQ(answerTo(s.port, {"GET /temp HTTP/1.0\r\n\r\n"}), "25\r\n");
    for (int fd : idle) close(fd);

    // 255 requests begun and not finished hold every slot; the next request waits instead of being closed.
    std::vector<int> held;
    for (int i = 0; i < 255; ++i) {
        held.push_back(connectTo(s.port));
        ASSERT_GE(held.back(), 0);
        ASSERT_TRUE(sendAll(held.back(), "GET"));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    // Until one of them closes; then the waiting request is answered.
    expectAnsweredOnlyOnceOneCloses(connectTo(s.port), held, "a request beyond the slots waits for one");
    // The begun requests finish and are answered.
    bool closed = false;
    EXPECT_TRUE(sendAll(held.front(), " / HTTP/1.0\r\n\r\n"));
    EXPECT_EQ(readToClose(held.front(), closed), "Temp: 25 C");
    for (int fd : held) close(fd);
    EXPECT_EQ(s.program->stop(SIGINT), 0);
}

TEST(Serve, BeyondTheOpenConnectionBoundConnectionsWaitInTheListenQueue) {
    // Under a limit of 128 descriptors the server keeps 64 of them for itself and holds at most 64 connections.
    Served s({"--page-headers", "off"}, siteImage(), {"/usr/bin/prlimit", "--nofile=128:128"});
    ASSERT_TRUE(s.started) << s.program->err();
    std::vector<int> idle;
    for (int i = 0; i < 64; ++i) {
        idle.push_back(connectTo(s.port));
        ASSERT_GE(idle.back(), 0);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    // The 65th connection is not accepted, and so not closed either: its request waits in the kernel until
    // one of the 64 closes. Then it is accepted and answered, and the others are still held.
    const int beyond = connectTo(s.port);
    ASSERT_GE(beyond, 0);
    expectAnsweredOnlyOnceOneCloses(beyond, idle, "a connection beyond the bound waits to be accepted");
    bool closed = false;
    EXPECT_TRUE(sendAll(idle.front(), "GET /temp HTTP/1.0\r\n\r\n"));
    EXPECT_EQ(readToClose(idle.front(), closed), "25\r\n");
    for (int fd : idle) close(fd);
    EXPECT_EQ(s.program->stop(SIGINT), 0);
}

TEST(Serve, ARequestOverTheReadSizeGetsItsAnswerNotAReset) {
    Served s({"--page-headers", "off"});
    ASSERT_TRUE(s.started) << s.program->err();
    const int fd = connectTo(s.port);
    ASSERT_GE(fd, 0);
    // 100 KiB of headers: more than one read takes, and still arriving when the answer goes out.
    const std::string request = "GET /temp HTTP/1.0\r\nX-Fill: " + std::string(100 * 1024, 'x') + "\r\n\r\n";
    ASSERT_TRUE(sendAll(fd, request));
    bool closed = false;
    EXPECT_EQ(readToClose(fd, closed), "25\r\n");
    EXPECT_TRUE(closed);
    close(fd);
    EXPECT_EQ(s.program->stop(SIGINT), 0);
}

TEST(Serve, RefusesBadImagesUsageAndBusyPorts) {
    TempDir dir;
    dir.write("big.kvb", std::string(49153, '\xFF'));
    dir.write("ok.kvb", siteImage());
    const std::string port = std::to_string(freePort());
    const std::vector<std::string> env{"XDG_CONFIG_HOME=" + dir.path()};
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string err;
    } cases[] = {
        {{"serve", dir.file("none.kvb"), "--http-port", port}, 1, "Cannot open image file"},
        {{"serve", dir.file("big.kvb"), "--http-port", port}, 1, "larger than 49152 bytes"},
        {{"serve", dir.path(), "--http-port", port}, 1, "is a folder"},
        {{"serve", dir.file("ok.kvb"), "--http-port", "http"}, 2, "port number"},
        {{"serve", dir.file("ok.kvb"), "--bind", "somewhere", "--http-port", port}, 2, "--bind"},
        {{"serve"}, 2, "no image given"},
    };
    for (const auto& c : cases) {
        const auto r = runProgram(programPath("brindlecorpc"), c.args, "", env);
        EXPECT_EQ(r.status, c.status) << c.args.back();
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }

    // Someone else listens on the port.
    const int busy = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(busy, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(listen(busy, 1), 0);
    socklen_t length = sizeof addr;
    getsockname(busy, reinterpret_cast<sockaddr*>(&addr), &length);
    const std::string busyPort = std::to_string(ntohs(addr.sin_port));
    for (const auto& bindArgs :
         {std::vector<std::string>{}, std::vector<std::string>{"--bind", "127.0.0.1"}}) {
        std::vector<std::string> args{"serve", dir.file("ok.kvb"), "--http-port", busyPort};
        args.insert(args.end(), bindArgs.begin(), bindArgs.end());
        const auto r = runProgram(programPath("brindlecorpc"), args, "", env);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "Winsock Error - Cannot Listen\n");
    }
    close(busy);
}

}  // namespace
}  // namespace brindlecor::testing
