// A pseudo-terminal whose master side a test holds, standing in for a host controller on a serial line;
// the program under test opens the slave path. Header only, so that every test executable can use it.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

namespace brindlecor::testing {

class PseudoTerminal {
  public:
    PseudoTerminal() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
        // A program the test starts must not inherit the master, or closing it here would not hang up.
        fcntl(master_, F_SETFD, FD_CLOEXEC);
        if (const char* name = ptsname(master_)) slavePath_ = name;
        termios t{};
        tcgetattr(master_, &t);
        cfmakeraw(&t);
        tcsetattr(master_, TCSANOW, &t);
        // Opening and closing the slave once makes the master report a hang-up until the program under
        // test opens it, which is how waitUntilOpened() sees that it has.
        const int slave = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY);
        if (slave >= 0) ::close(slave);
    }
    ~PseudoTerminal() { closeMaster(); }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    bool ok() const { return master_ >= 0 && !slavePath_.empty(); }
    const std::string& slavePath() const { return slavePath_; }

    // True once the slave side is open.
    bool waitUntilOpened(int timeoutMs = 10000) const {
        return waitFor(timeoutMs, [this] { return (revents() & POLLHUP) == 0; });
    }

    void write(const std::string& bytes) const {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
            if (n <= 0) return;
            done += static_cast<size_t>(n);
        }
    }

    // Up to count bytes; fewer when nothing more arrives within timeoutMs.
    std::string read(size_t count, int timeoutMs = 5000) const {
        std::string got;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (got.size() < count) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd p{master_, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(std::max<long long>(left.count(), 0))) <= 0) break;
            if (!(p.revents & POLLIN)) {
                // Hung up with nothing to read: the slave is closed for the moment (a reopen).
                if (left.count() <= 0) break;
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                continue;
            }
            char buffer[256];
            const ssize_t n = ::read(master_, buffer, std::min(sizeof buffer, count - got.size()));
            if (n <= 0) continue;
            got.append(buffer, static_cast<size_t>(n));
        }
        return got;
    }

    // The line speed the slave side has set, as a termios code (B9600, ...).
    speed_t speed() const {
        termios t{};
        tcgetattr(master_, &t);
        return cfgetospeed(&t);
    }

    bool waitForSpeed(speed_t wanted, int timeoutMs = 10000) const {
        return waitFor(timeoutMs, [&] { return speed() == wanted && (revents() & POLLHUP) == 0; });
    }

    // The host goes away: the program's side sees a hang-up.
    void closeMaster() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }

  private:
    short revents() const {
        pollfd p{master_, 0, 0};
        poll(&p, 1, 0);
        return p.revents;
    }

    template <typename Condition>
    static bool waitFor(int timeoutMs, Condition condition) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!condition()) {
            if (std::chrono::steady_clock::now() >= deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }

    int master_ = -1;
    std::string slavePath_;
};

}  // namespace brindlecor::testing
