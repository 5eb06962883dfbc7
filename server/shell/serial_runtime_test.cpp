#include "server/shell/serial_runtime.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <QCoreApplication>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "common/settings_keys.h"
#include "common/settings_store.h"
#include "tests/support/pseudo_terminal.h"

namespace brindlecor::server {
namespace {

using testing::PseudoTerminal;

// The port, its timer and the host's pseudo-terminal all live on this thread: waiting means running the
// event loop while watching for the condition.
template <typename Condition>
bool pumpUntil(Condition condition, int timeoutMs = 10000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// An application object for the fixture's lifetime, unless one exists already.
std::unique_ptr<QCoreApplication> makeApplication() {
    static int argc = 1;
    static char name[] = "serial_runtime_test";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance()) return nullptr;
    return std::make_unique<QCoreApplication>(argc, argv);
}

// Opens and final closes of a device path, in order ('o', 'c'). A line is hung up for the host exactly when
// its last open description is closed; a reopen that keeps the line up opens the new one first.
class OpenCloseWatch {
  public:
    explicit OpenCloseWatch(const std::string& path) : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        if (fd_ >= 0) inotify_add_watch(fd_, path.c_str(), IN_OPEN | IN_CLOSE);
    }
    ~OpenCloseWatch() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool ok() const { return fd_ >= 0; }
    std::string events() const {
        std::string out;
        alignas(inotify_event) char buffer[4096];
        ssize_t n;
        while ((n = ::read(fd_, buffer, sizeof buffer)) > 0) {
            for (ssize_t at = 0; at < n;) {
                const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
                if (e->mask & IN_OPEN) out += 'o';
                if (e->mask & IN_CLOSE) out += 'c';
                at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
            }
        }
        return out;
    }

  private:
    int fd_;
};

class SerialRuntimeTest : public ::testing::Test {
  protected:
    SerialRuntimeTest() {
        // COM port settings come from a folder of the test's own, never from the user's.
        if (const char* old = getenv("XDG_CONFIG_HOME")) oldConfig_ = old;
        char pattern[] = "/tmp/serial-runtime-XXXXXX";
        config_ = mkdtemp(pattern);
        setenv("XDG_CONFIG_HOME", config_.c_str(), 1);
        runtime.setReporter([this](const std::string& text) { reports.push_back(text); });
        device.setEffects(&runtime.effects());
    }
    ~SerialRuntimeTest() override {
        device.setEffects(nullptr);
        std::filesystem::remove_all(config_);
        if (oldConfig_) {
            setenv("XDG_CONFIG_HOME", oldConfig_->c_str(), 1);
        } else {
            unsetenv("XDG_CONFIG_HOME");
        }
    }

    void setting(const std::string& key, const std::string& value) {
        SettingsStore::forApplication(settings::kServerApplication).saveSetting(key, value);
    }
    bool opened(const PseudoTerminal& pty) {
        return pumpUntil([&] { return runtime.isOpen() && pty.waitUntilOpened(0); });
    }
    // Sends the bytes and collects count reply bytes while the event loop runs.
    std::string ask(const PseudoTerminal& pty, const std::string& bytes, size_t count) {
        pty.write(bytes);
        std::string got;
        pumpUntil([&] {
            got += pty.read(count - got.size(), 0);
            return got.size() == count;
        });
        return got;
    }

    std::optional<std::string> oldConfig_;
    std::string config_;
    std::unique_ptr<QCoreApplication> app_ = makeApplication();
    Device device;
    SerialRuntime runtime{device};
    std::vector<std::string> reports;
};

TEST_F(SerialRuntimeTest, ResetOpensTheCommPortNamedByTheSettings) {
    PseudoTerminal pty;
    ASSERT_TRUE(pty.ok());
    setting("CommPort", "2");
    setting("CommDevice2", pty.slavePath());
    device.reset();
    ASSERT_TRUE(opened(pty));
    device.ram[0x10] = 0x5A;
    EXPECT_EQ(runtime.openComPortNumber(), 2);
    EXPECT_EQ(runtime.portSettings(), "9600,n,8,1");
    EXPECT_EQ(pty.speed(), B9600);
    EXPECT_EQ(ask(pty, "\xC0\x10", 1), "\x5A");
    EXPECT_TRUE(reports.empty());

    const std::string missing = config_ + "/no-such-tty";
    setting("CommDevice3", missing);
    struct Case {
        const char* commPort;
        std::vector<std::string> reportParts;  // empty: no message
    } cases[] = {
        {"0", {}},
        {"7", {"CommPort \"7\" names no port 1-4", "serving without a serial port"}},
        {"3", {"COM3 (" + missing + "): ", "serving without a serial port"}},
    };
    for (const auto& c : cases) {
        reports.clear();
        setting("CommPort", c.commPort);
        device.reset();
        EXPECT_FALSE(runtime.isOpen()) << c.commPort;
        ASSERT_EQ(reports.size(), c.reportParts.empty() ? 0u : 1u) << c.commPort;
        for (const auto& part : c.reportParts)
            EXPECT_NE(reports[0].find(part), std::string::npos) << reports[0];
    }
}

TEST_F(SerialRuntimeTest, SpeedCommandReopensAtTheSnappedRateAndResetRestores9600) {
    PseudoTerminal pty;
    ASSERT_TRUE(pty.ok());
    runtime.setPortOverride(pty.slavePath());
    device.reset();
    ASSERT_TRUE(opened(pty));

    pty.write(std::string("\x30\xFC\x00\x00\x00", 5));
    ASSERT_TRUE(pumpUntil([&] { return pty.waitForSpeed(B1200, 0) && runtime.isOpen(); }));
    EXPECT_EQ(runtime.portSettings(), "1200,n,8,1");
    device.ram[0x20] = 0x77;
    EXPECT_EQ(ask(pty, "\xC0\x20", 1), "\x77");

    device.reset();
    ASSERT_TRUE(pumpUntil([&] { return pty.waitForSpeed(B9600, 0) && runtime.isOpen(); }));
    EXPECT_EQ(runtime.portSettings(), "9600,n,8,1");
    EXPECT_TRUE(reports.empty());
}

TEST_F(SerialRuntimeTest, ReopeningTheLineNeverHangsItUpForTheHost) {
    PseudoTerminal pty;
    ASSERT_TRUE(pty.ok());
    runtime.setPortOverride(pty.slavePath());
    device.reset();
    ASSERT_TRUE(opened(pty));
    OpenCloseWatch watch(pty.slavePath());
    ASSERT_TRUE(watch.ok());
    device.ram[0x320] = 0x77;  // above the initial values that a reset copies in

    // A speed command, and a reset (a download's restart), each with a read right behind it.
    const struct {
        const char* name;
        std::function<void()> reopen;
    } cases[] = {
        {"speed command", [&] { pty.write(std::string("\x30\xFC\x00\x00\x00\xD0\x20\x03", 8)); }},
        {"reset",
         [&] {
             pty.write(std::string("\xD0\x20\x03", 3));
             device.reset();
         }},
    };
    for (const auto& c : cases) {
        watch.events();  // what came before
        c.reopen();
        std::string got;
        ASSERT_TRUE(pumpUntil([&] {
            got += pty.read(1, 0);
            return !got.empty();
        })) << c.name;
        EXPECT_EQ(got, "\x77") << c.name;
        // The new description is open before the old one closes: the line is never down.
        EXPECT_EQ(watch.events(), "oc") << c.name;
    }
    EXPECT_TRUE(reports.empty());
}

TEST_F(SerialRuntimeTest, BurstIsHandledInOrderAndTheOutputRegisterSendsAtOnce) {
    PseudoTerminal pty;
    ASSERT_TRUE(pty.ok());
    runtime.setPortOverride(pty.slavePath());
    device.reset();
    ASSERT_TRUE(opened(pty));

    // 200 writes in one go, the later ones overwriting the earlier, then a read of the result.
    std::string burst;
    for (int i = 0; i < 200; ++i)
        burst += std::string{'\x80', static_cast<char>(i % 100), static_cast<char>(i)};
    burst += std::string("\xC3\x00", 2);
    EXPECT_EQ(ask(pty, burst, 4), "\x64\x65\x66\x67");
    EXPECT_EQ(device.ram[99], 199);

    device.ramWrite(kSerialOutputRegister, 'h');
    device.ramWrite(kSerialOutputRegister, 'i');
    EXPECT_EQ(pty.read(2, 5000), "hi");
}

TEST_F(SerialRuntimeTest, OutputToAHostThatDoesNotReadIsBounded) {
    PseudoTerminal pty;
    ASSERT_TRUE(pty.ok());
    runtime.setPortOverride(pty.slavePath());
    device.reset();
    ASSERT_TRUE(opened(pty));

    // Far more through the output register than the line can hold while the host reads nothing.
    for (int i = 0; i < (1 << 18); ++i) device.ramWrite(kSerialOutputRegister, static_cast<uint8_t>(i));
    EXPECT_LE(runtime.pendingOutput(), kMaxPendingSerialOutput);
    EXPECT_TRUE(runtime.isOpen());
    // What was taken goes out from the start and in order once the host reads; nothing stays stuck.
    std::string got;
    pumpUntil([&] {
        got += pty.read(1 << 16, 0);
        return runtime.pendingOutput() == 0;
    });
    got += pty.read(1 << 20, 200);
    ASSERT_GE(got.size(), static_cast<size_t>(kMaxPendingSerialOutput));
    for (size_t k = 0; k < got.size(); ++k)
        ASSERT_EQ(static_cast<uint8_t>(got[k]), static_cast<uint8_t>(k)) << "byte " << k;
    EXPECT_TRUE(reports.empty());

    // A host that goes away while output waits: the port is closed and reported once.
    for (int i = 0; i < (1 << 17); ++i) device.ramWrite(kSerialOutputRegister, 'x');
    ASSERT_GT(runtime.pendingOutput(), 0);
    pty.closeMaster();
    ASSERT_TRUE(pumpUntil([&] { return !runtime.isOpen(); }));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("is no longer available"), std::string::npos) << reports[0];
}

TEST_F(SerialRuntimeTest, PortThatGoesAwayIsClosedAndReportedOnce) {
    std::string path;
    {
        PseudoTerminal pty;
        ASSERT_TRUE(pty.ok());
        path = pty.slavePath();
        runtime.setPortOverride(path);
        device.reset();
        ASSERT_TRUE(opened(pty));
    }
    ASSERT_TRUE(pumpUntil([&] { return !runtime.isOpen(); }));
    // Later writes to the output register go nowhere and raise nothing further.
    device.ramWrite(kSerialOutputRegister, 'x');
    pumpUntil([] { return false; }, 100);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find(path + " is no longer available"), std::string::npos) << reports[0];
}

TEST_F(SerialRuntimeTest, UnopenablePathIsReportedAndNothingIsOpen) {
    runtime.setPortOverride("/nonexistent/tty");
    device.reset();
    EXPECT_FALSE(runtime.isOpen());
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("cannot open serial port /nonexistent/tty: "), std::string::npos) << reports[0];
    EXPECT_NE(reports[0].find("serving without a serial port until the next reset"), std::string::npos);
}

}  // namespace
}  // namespace brindlecor::server
