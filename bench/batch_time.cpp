// Batch downloads into 20 emulated devices (`brindlecorpc serve --erase-delay 0` on loopback) with --jobs 1
// against --jobs 8, and one 48 KiB download against its floor: the 195 request round trips of a download,
// timed on the same emulator's download socket in the same run (and the program's start, for scale). Last,
// once, the same two batches into devices that keep the designed one-second erase wait.
// Run: bin/batch_time [runs]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/program.h"

using namespace brindlecor::testing;

namespace {

constexpr int kDevices = 20;
constexpr int kWaitingDevices = 8;  // three one-second erases each: 24 s one after another
constexpr int kRoundTrips = 195;    // 3 erases and 192 pages of a 48 KiB image
constexpr double kBudgetSeconds = 0.2;

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// kRoundTrips read requests of a whole page each (276 bytes out, 276 back) to the download port, one at a
// time as the download sends; nothing when a request goes unanswered.
double roundTripFloor(int downloadPort) {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(static_cast<uint16_t>(downloadPort));
    std::string request = {0x03, 0x00, 0x40, 0x00};
    request += std::string(16, '\xFF') + std::string(256, '\0');
    char reply[512];
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kRoundTrips; ++i) {
        sendto(fd, request.data(), request.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 2000) <= 0 || recv(fd, reply, sizeof reply, 0) != 276) {
            close(fd);
            return -1;
        }
    }
    const double seconds = secondsSince(start);
    close(fd);
    return seconds;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::stoi(argv[1])) : 3;
    TempDir dir;
    std::string image(49152, '\0');
    for (size_t k = 0; k < image.size(); ++k) image[k] = static_cast<char>(k * 13 + 7);
    image.replace(0x40, 16, std::string(16, '\xFF'));  // no download password
    dir.write("full.kvb", image);
    const std::vector<std::string> env{"XDG_CONFIG_HOME=" + dir.file("cfg")};

    // Twenty devices that answer erases at once, and eight that wait as the device does.
    std::vector<ServePorts> ports(kDevices), waiting(kWaitingDevices);
    std::vector<std::unique_ptr<BackgroundProgram>> servers;
    std::string list = "address,port\n", waitingList = list;
    for (int i = 0; i < kDevices; ++i) {
        for (bool fast : {true, false}) {
            if (!fast && i >= kWaitingDevices) continue;
            const ServePorts& p = fast ? ports[i] : waiting[i];
            std::vector<std::string> args = p.serveArgs(dir.file("full.kvb"));
            args.insert(args.end(), {"--erase-delay", fast ? "0" : "1000"});
            servers.push_back(std::make_unique<BackgroundProgram>(programPath("brindlecorpc"), args, env));
            (fast ? list : waitingList) += "127.0.0.1," + std::to_string(p.download) + "\n";
        }
    }
    for (auto& server : servers)
        if (!server->waitForOutput("http://")) {
            std::fprintf(stderr, "a server did not start: %s\n", server->err().c_str());
            return 1;
        }
    dir.write("devices.csv", list);
    dir.write("waiting.csv", waitingList);

    auto timed = [&](const std::vector<std::string>& args) -> double {
        const auto start = std::chrono::steady_clock::now();
        const RunResult r = runProgram(programPath("tamarquill"), args, "", env);
        const double seconds = secondsSince(start);
        if (r.status != 0) {
            std::fprintf(stderr, "tamarquill %s failed (%d): %s%s\n", args[0].c_str(), r.status,
                         r.out.c_str(), r.err.c_str());
            return -1;
        }
        return seconds;
    };
    auto batch = [&](const char* jobs, const char* devices = "devices.csv") {
        return timed({"download", dir.file("full.kvb"), "--batch", dir.file(devices), "--jobs", jobs,
                      "--local-port", "0"});
    };
    auto single = [&] {
        return timed({"download", dir.file("full.kvb"), "--to", "127.0.0.1", "--port",
                      std::to_string(ports[0].download), "--local-port", "0"});
    };

    std::vector<double> one, eight, downloads, floors, starts;
    std::printf("%d devices, 48 KiB image, --erase-delay 0\n", kDevices);
    for (int i = 0; i < runs; ++i) {
        const double a = batch("1"), b = batch("8"), d = single(), f = roundTripFloor(ports[0].download);
        const double start = timed({"--version"});
        if (a < 0 || b < 0 || d < 0 || f < 0 || start < 0) return 1;
        starts.push_back(start);
        one.push_back(a);
        eight.push_back(b);
        downloads.push_back(d);
        floors.push_back(f);
        std::printf(
            "run %d: batch --jobs 1 %.3f s, --jobs 8 %.3f s (ratio %.2f); one download %.3f s, "
            "its %d round trips %.3f s (%.2f x the floor)\n",
            i + 1, a, b, a / b, d, kRoundTrips, f, d / f);
    }
    const double d = median(downloads);
    std::printf(
        "median: batch --jobs 1 %.3f s, --jobs 8 %.3f s, ratio %.2f; one download %.3f s against a "
        "%.3f s floor, %.2f x (budget %.1f s)\n",
        median(one), median(eight), median(one) / median(eight), d, median(floors), d / median(floors),
        kBudgetSeconds);
    std::printf("the program's start alone: %.3f s, so the download itself is %.2f x its round trips\n",
                median(starts), std::max(0.0, d - median(starts)) / median(floors));

    const double slow = batch("1", "waiting.csv"), fast = batch("8", "waiting.csv");
    if (slow < 0 || fast < 0) return 1;
    std::printf("with the device's one-second erase wait: --jobs 1 %.3f s, --jobs 8 %.3f s, ratio %.2f\n",
                slow, fast, slow / fast);
    return d <= kBudgetSeconds ? 0 : 1;
}
