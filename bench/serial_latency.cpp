// Reply latency of the emulator's serial line: a host on a pseudo-terminal sends read commands to
// `brindlecorpc serve --serial` and waits for each reply. The floor is the round trip of the same
// pseudo-terminals through a thread that only echoes, measured in the same run; the designed 2 ms reply
// delay is taken off before the ratio.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/program.h"
#include "tests/support/pseudo_terminal.h"

using brindlecor::testing::BackgroundProgram;
using brindlecor::testing::freePort;
using brindlecor::testing::programPath;
using brindlecor::testing::PseudoTerminal;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kRounds = 500;
constexpr double kDesignedDelayMs = 2.0;

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Round trips of a two-byte command answered by a one-byte reply; empty when a reply did not come.
std::vector<double> roundTrips(const PseudoTerminal& host) {
    std::vector<double> ms;
    const std::string command("\xC0\x10", 2);
    for (int i = 0; i < kRounds; ++i) {
        const auto start = Clock::now();
        host.write(command);
        if (host.read(1).size() != 1) return {};
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    return ms;
}

// The floor: a thread that answers every two bytes with one, as fast as the pseudo-terminal lets it.
double echoFloor() {
    PseudoTerminal host;
    const int line = open(host.slavePath().c_str(), O_RDWR | O_NOCTTY);
    std::atomic<bool> stop{false};
    std::thread echo([&] {
        char buffer[2];
        size_t have = 0;
        while (!stop) {
            pollfd p{line, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0) continue;
            const ssize_t n = read(line, buffer + have, 2 - have);
            if (n <= 0) continue;
            have += static_cast<size_t>(n);
            if (have == 2) {
                [[maybe_unused]] const ssize_t w = write(line, buffer, 1);
                have = 0;
            }
        }
    });
    host.waitUntilOpened();
    const auto ms = roundTrips(host);
    stop = true;
    echo.join();
    close(line);
    return ms.empty() ? -1 : median(ms);
}

}  // namespace

int main() {
    char folder[] = "/tmp/serial-latency-XXXXXX";
    if (!mkdtemp(folder)) return 1;
    const std::string image = std::string(folder) + "/empty.kvb";
    if (FILE* f = std::fopen(image.c_str(), "wb")) std::fclose(f);

    PseudoTerminal host;
    double server = -1;
    {
        BackgroundProgram serve(
            programPath("brindlecorpc"),
            {"serve", image, "--http-port", std::to_string(freePort()), "--download-port",
             std::to_string(freePort(true)), "--name-port", std::to_string(freePort(true)), "--ram-port",
             std::to_string(freePort(true)), "--datagram-port", std::to_string(freePort(true)), "--serial",
             host.slavePath()});
        if (serve.waitForOutput("http://") && host.waitUntilOpened()) {
            const auto ms = roundTrips(host);
            if (!ms.empty()) server = median(ms);
        }
        if (server < 0)
            std::fprintf(stderr, "serial_latency: no replies; server said: %s\n", serve.err().c_str());
    }
    const double floor = echoFloor();
    std::remove(image.c_str());
    rmdir(folder);
    if (server < 0 || floor <= 0) return 1;

    std::printf("serial reply, median of %d: %.3f ms (designed delay %.1f ms)\n", kRounds, server,
                kDesignedDelayMs);
    std::printf("pseudo-terminal echo floor, median of %d: %.3f ms\n", kRounds, floor);
    std::printf("overhead beyond the designed delay: %.3f ms = %.1f x the floor\n", server - kDesignedDelayMs,
                (server - kDesignedDelayMs) / floor);
    return 0;
}
