// Edit-to-preview latency: with `tamarquill make --watch` and `brindlecorpc serve --reload-on-change`
// running on a copy of the demo, the time from saving a changed page (an editor's save: a new file renamed
// over the old one) to the first HTTP answer that shows the change; median and p95 over the edits, against
// one plain `tamarquill make` of the same project measured in the same run.
// Usage: edit_latency [EDITS]   (default 50)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/loopback.h"
#include "tests/support/program.h"

using namespace brindlecor::testing;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

namespace {

constexpr int kPlainMakes = 20;
constexpr double kGiveUpMs = 5000;

double percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size() - 1) + 0.5))];
}

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

}  // namespace

int main(int argc, char** argv) {
    const int edits = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
    TempDir dir;
    fs::copy(BRINDLECOR_SOURCE_DIR "/examples/demo", dir.path(), fs::copy_options::recursive);
    fs::remove(dir.file("demo.kvb"));
    const std::string page = dir.read("site/index.htm");
    const std::string title = "<title>^room^ - Brindlecor Demo</title>";
    const size_t titleAt = page.find(title);
    if (titleAt == std::string::npos) {
        std::fprintf(stderr, "edit_latency: the demo page has no title line to edit\n");
        return 1;
    }

    // The peer: one plain make of the same project, process start included.
    std::vector<double> plain;
    for (int i = 0; i < kPlainMakes; ++i) {
        const auto start = Clock::now();
        const RunResult r = runProgram(programPath("tamarquill"), {"make", "--quiet", dir.file("demo.kvd")});
        plain.push_back(msSince(start));
        if (r.status != 0) {
            std::fprintf(stderr, "edit_latency: the demo does not make: %s\n", r.err.c_str());
            return 1;
        }
    }

    BackgroundProgram watch(programPath("tamarquill"), {"make", "--watch", "--quiet", dir.file("demo.kvd")});
    if (!watch.waitForOutput("image written")) {
        std::fprintf(stderr, "edit_latency: the watch did not start: %s\n", watch.err().c_str());
        return 1;
    }
    ServePorts ports;
    std::vector<std::string> args = ports.serveArgs(dir.file("demo.kvb"));
    args.push_back("--reload-on-change");
    BackgroundProgram serve(programPath("brindlecorpc"), args, {"XDG_CONFIG_HOME=" + dir.path()});
    if (!serve.waitForOutput("http://")) {
        std::fprintf(stderr, "edit_latency: the server did not start: %s\n", serve.err().c_str());
        return 1;
    }

    std::vector<double> latency;
    size_t polls = 0;
    for (int i = 0; i < edits; ++i) {
        const std::string marker = "Edit " + std::to_string(i);
        std::string edited = page;
        edited.replace(titleAt, title.size(), "<title>^room^ - " + marker + "</title>");
        const auto start = Clock::now();
        { std::ofstream(dir.file("site/.index.htm.swp"), std::ios::binary) << edited; }
        fs::rename(dir.file("site/.index.htm.swp"), dir.file("site/index.htm"));
        bool seen = false;
        while (!seen && msSince(start) < kGiveUpMs) {
            ++polls;
            seen = httpGet(ports.http, "/").find(marker) != std::string::npos;
        }
        if (!seen) {
            std::fprintf(stderr, "edit_latency: edit %d never showed\n%s%s", i, watch.err().c_str(),
                         serve.err().c_str());
            return 1;
        }
        latency.push_back(msSince(start));
    }
    // The last make's summary may come just after its image has been served.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    // The first summary line opens the output; each make after it starts a line of its own.
    const double makes = static_cast<double>(count(watch.out(), "\r\n== "));
    const double reloads = static_cast<double>(count(serve.out(), "Reloaded "));
    serve.stop(2);
    watch.stop(2);

    const double plainMedian = percentile(plain, 0.5);
    const double median = percentile(latency, 0.5);
    std::printf(
        "edits:                      %d (%.2f makes and %.2f reloads per edit, %.1f requests polled)\n",
        edits, makes / edits, reloads / edits, static_cast<double>(polls) / edits);
    std::printf("edit to preview, median:    %.1f ms\n", median);
    std::printf("edit to preview, p95:       %.1f ms\n", percentile(latency, 0.95));
    std::printf("edit to preview, min/max:   %.1f / %.1f ms\n", percentile(latency, 0),
                percentile(latency, 1));
    std::printf("plain tamarquill make:      %.1f ms (median of %d)\n", plainMedian, kPlainMakes);
    std::printf(
        "ratio median / plain make:  %.2f (the watch waits 20 ms for a save to end before it makes)\n",
        median / plainMedian);
    return 0;
}
