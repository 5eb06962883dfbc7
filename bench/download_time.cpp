// Time of a full 48 KiB download from `tamarquill download` into `brindlecorpc serve` on loopback, against
// its floor: the three one-second erase waits of the device. Run: bin/download_time [runs]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "tests/support/program.h"

using namespace brindlecor::testing;

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::stoi(argv[1]) : 3;
    TempDir dir;
    std::string image(49152, '\0');
    for (size_t k = 0; k < image.size(); ++k) image[k] = static_cast<char>(k * 13 + 7);
    image.replace(0x40, 16, std::string(16, '\xFF'));  // no download password
    dir.write("full.kvb", image);
    const std::vector<std::string> env{"XDG_CONFIG_HOME=" + dir.file("cfg")};
    const int download = freePort(true);
    BackgroundProgram server(
        programPath("brindlecorpc"),
        {"serve", dir.file("full.kvb"), "--http-port", std::to_string(freePort()), "--download-port",
         std::to_string(download), "--name-port", std::to_string(freePort(true)), "--ram-port",
         std::to_string(freePort(true)), "--datagram-port", std::to_string(freePort(true))},
        env);
    if (!server.waitForOutput("http://")) {
        std::fprintf(stderr, "server did not start: %s\n", server.err().c_str());
        return 1;
    }
    constexpr double floorSeconds = 3.0;
    double worst = 0;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const RunResult r = runProgram(programPath("tamarquill"),
                                       {"download", dir.file("full.kvb"), "--to", "127.0.0.1", "--port",
                                        std::to_string(download), "--local-port", "0"},
                                       "", env);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (r.status != 0) {
            std::fprintf(stderr, "download failed (%d): %s\n", r.status, r.err.c_str());
            return 1;
        }
        worst = std::max(worst, seconds);
        std::printf("run %d: %.3f s, %.3f x the %.1f s erase floor, %.1f ms above it\n", i + 1, seconds,
                    seconds / floorSeconds, floorSeconds, (seconds - floorSeconds) * 1000);
    }
    std::printf("worst: %.3f s (budget 3.2 s)\n", worst);
    return worst <= 3.2 ? 0 : 1;
}
