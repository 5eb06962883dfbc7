// Soak: MINUTES of mixed load on one `brindlecorpc serve` of the demo, every answer checked. 100 HTTP
// clients ask for pages, values and form submissions; a UDP peer writes RAM records and reads each value
// back over HTTP; a host on a pseudo-terminal writes and reads RAM and bits with serial commands; once a
// minute `tamarquill download` programs the image again. Resident memory and open descriptors of the server
// are sampled once a minute with the load paused, and must not grow from the first sample to the last.
// Usage: soak_bench [MINUTES]   (default 10; fractions such as 0.5 allowed)
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/loopback.h"
#include "tests/support/program.h"
#include "tests/support/pseudo_terminal.h"

using namespace brindlecor::testing;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

namespace {

constexpr int kHttpClients = 100;
constexpr int kProgressSeconds = 10;
constexpr long kRssToleranceKb = 1024;
constexpr long kFdTolerance = 2;
constexpr size_t kErrorsShown = 20;

const std::string kPageHead = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nCache-Control: no-store\r\n\r\n";
const std::string kIndexEnd = "<!-- The page ends here while the alarm is off. -->";
const std::string kAdminEnd = "<p><a href=\"../index.htm\">Back</a></p></body></html>\r\n";

std::atomic<bool> stopping{false};
std::atomic<long> httpRequests{0}, ramRecords{0}, serialCommands{0}, downloads{0}, errors{0}, lostWrites{0};
std::mutex errorMutex;
std::vector<std::string> errorTexts;

void fail(std::atomic<long>& counter, const std::string& what) {
    ++counter;
    std::lock_guard lock(errorMutex);
    if (errorTexts.size() < kErrorsShown) errorTexts.push_back(what);
}

// The load passes through here one operation at a time; a download or a sample closes it, waits until no
// operation is under way, and opens it again when done. A download resets the device and serves an erased
// flash for a moment, so nothing that checks a value may overlap it.
class Gate {
  public:
    void enter() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return !closed_; });
        ++active_;
    }
    void leave() {
        {
            std::lock_guard lock(mutex_);
            --active_;
        }
        changed_.notify_all();
    }
    void close() {
        std::unique_lock lock(mutex_);
        closed_ = true;
        changed_.wait(lock, [this] { return active_ == 0; });
    }
    void open() {
        {
            std::lock_guard lock(mutex_);
            closed_ = false;
        }
        changed_.notify_all();
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int active_ = 0;
    bool closed_ = false;
};

Gate gate;

struct Pass {
    Pass() { gate.enter(); }
    ~Pass() { gate.leave(); }
};

struct Answer {
    bool complete = false;  // connected, sent, and closed by the server within the time-out
    std::string text;
};

Answer get(int port, const std::string& target) {
    const Exchange e = exchange(port, {"GET " + target + " HTTP/1.0\r\n\r\n"});
    ++httpRequests;
    return {e.connected && e.sent && e.closed, e.response};
}

bool startsWith(const std::string& s, const std::string& p) {
    return s.compare(0, p.size(), p) == 0;
}
bool endsWith(const std::string& s, const std::string& p) {
    return s.size() >= p.size() && s.compare(s.size() - p.size(), p.size(), p) == 0;
}

std::string shown(const std::string& text) {
    std::string out;
    for (const char c : text.substr(0, 120)) out += c == '\r' ? "\\r" : c == '\n' ? "\\n" : std::string(1, c);
    return out;
}

// What the answers that never change must be, taken once at the start.
struct Reference {
    std::string logo, notFound, saved;  // `saved`: the form's answer with "@" for its line of values
};

std::string savedLine(int setpoint, int heater, int mode, const std::string& room) {
    return "<p>Saved: setpoint " + std::to_string(setpoint) + " &deg;C, heater " + std::to_string(heater) +
           ", mode " + std::to_string(mode) + ", room " + room + ".</p>";
}

// One request of the mix; the text of what was wrong, or nothing.
std::string httpRound(int port, const Reference& ref, std::mt19937& rng) {
    const int kind = static_cast<int>(rng() % 10);
    if (kind <= 3) {
        const Answer a = get(port, kind % 2 ? "/" : "/index.htm");
        if (a.complete && startsWith(a.text, kPageHead + "<!DOCTYPE html>") &&
            a.text.find("<tr><td>Temperature</td><td>") != std::string::npos &&
            a.text.find("</form>") != std::string::npos && endsWith(a.text, kIndexEnd))
            return {};
        return "index page: " + shown(a.text);
    }
    if (kind == 4) {
        const Answer a = get(port, "/logo.png");
        return a.complete && a.text == ref.logo ? "" : "logo.png: " + shown(a.text);
    }
    if (kind == 5) {
        const Answer a = get(port, "/admin/index.htm");
        if (a.complete && startsWith(a.text, kPageHead) && endsWith(a.text, kAdminEnd)) return {};
        return "admin page: " + shown(a.text);
    }
    if (kind <= 7) {
        const int setpoint = static_cast<int>(rng() % 256), heater = static_cast<int>(rng() % 2),
                  mode = static_cast<int>(rng() % 256);
        std::string room;
        for (size_t i = 1 + rng() % 11; i > 0; --i)
            room += "abcdefghijklmnopqrstuvwxyz0123456789"[rng() % 36];
        const Answer a = get(port, "/set.kvi?setpoint=" + std::to_string(setpoint) + "&room=" + room +
                                       "&heater=" + std::to_string(heater) + "&mode=" + std::to_string(mode));
        std::string expected = ref.saved;
        expected.replace(expected.find('@'), 1, savedLine(setpoint, heater, mode, room));
        return a.complete && a.text == expected ? "" : "form: " + shown(a.text);
    }
    if (kind == 8) {
        // The form's objects change under other clients; only the shape of the value is fixed.
        static const char* const names[] = {"/setpoint", "/heater", "/mode", "/room"};
        const Answer a = get(port, names[rng() % 4]);
        return a.complete && endsWith(a.text, "\r\n") && a.text.find('\n') == a.text.size() - 1
                   ? ""
                   : "value: " + shown(a.text);
    }
    const Answer a = get(port, "/nosuch.htm");
    return a.complete && a.text == ref.notFound ? "" : "missing page: " + shown(a.text);
}

void httpClient(int port, const Reference& ref, unsigned seed) {
    std::mt19937 rng(seed);
    while (!stopping) {
        Pass pass;
        if (stopping) break;
        if (const std::string wrong = httpRound(port, ref, rng); !wrong.empty()) fail(errors, wrong);
    }
}

// The objects of the demo that only the RAM records write: a byte, two 16-bit and one 32-bit, signed but
// the byte.
struct RamObject {
    const char* name;
    uint16_t address;
    int size;
};
constexpr RamObject kRamObjects[] = {
    {"temp", 0x20, 1}, {"offset", 0x23, 2}, {"counter", 0x25, 2}, {"uptime", 0x27, 4}};

// A datagram of records for a random choice of the objects, each with a new value, then a read of each.
void ramWriter(int httpPort, int ramPort, unsigned seed) {
    std::mt19937 rng(seed);
    UdpPeer peer;
    while (!stopping) {
        Pass pass;
        if (stopping) break;
        std::string datagram;
        std::vector<std::pair<const RamObject*, long long>> written;
        const unsigned choice = 1 + rng() % 15;
        for (size_t i = 0; i < std::size(kRamObjects); ++i) {
            if (!(choice & (1u << i))) continue;
            const RamObject& o = kRamObjects[i];
            const uint32_t raw = rng();
            datagram += static_cast<char>(o.size);
            datagram += static_cast<char>(o.size ^ 0xFF);
            datagram += static_cast<char>(o.address & 0xFF);
            datagram += static_cast<char>(o.address >> 8);
            for (int b = 0; b < o.size; ++b) datagram += static_cast<char>(raw >> (8 * b));
            written.emplace_back(&o, o.size == 4   ? static_cast<int32_t>(raw)
                                     : o.size == 2 ? static_cast<int16_t>(raw & 0xFFFF)
                                                   : static_cast<long long>(raw & 0xFF));
        }
        if (!peer.sendTo(ramPort, datagram)) {
            fail(errors, "RAM write datagram not sent");
            continue;
        }
        ramRecords += static_cast<long>(written.size());
        for (const auto& [o, value] : written) {
            const std::string expected = std::to_string(value) + "\r\n";
            // The datagram is in the server's queue before the read is sent: the read must show it.
            const Answer a = get(httpPort, std::string("/") + o->name);
            if (!a.complete || !endsWith(a.text, "\r\n"))
                fail(errors, std::string("value of ") + o->name + ": " + shown(a.text));
            else if (a.text != expected)
                fail(lostWrites, std::string("RAM write lost: ") + o->name + " = " + std::to_string(value) +
                                     ", read " + shown(a.text));
        }
    }
}

// One command and, for a read, the reply it must get; false when the reply differs.
bool serialExchange(const PseudoTerminal& pty, const std::string& command, const std::string& reply = "") {
    pty.write(command);
    ++serialCommands;
    return reply.empty() || pty.read(reply.size(), 2000) == reply;
}

std::string bytes(std::initializer_list<int> values) {
    std::string s;
    for (const int v : values) s += static_cast<char>(v);
    return s;
}

// RAM bytes above the objects (16-bit addresses) and in the free part below them (8-bit), and bits in a
// byte of the bit area that no page shows: written, then read back.
void serialHost(const PseudoTerminal& pty, unsigned seed) {
    std::mt19937 rng(seed);
    auto randomBytes = [&rng](int n) {
        std::string s;
        for (int i = 0; i < n; ++i) s += static_cast<char>(rng());
        return s;
    };
    while (!stopping) {
        Pass pass;
        if (stopping) break;
        const int n = static_cast<int>(rng() % 16);
        const int far = 0x400 + static_cast<int>(rng() % 0x100), near = 0x80 + static_cast<int>(rng() % 0x40);
        const std::string farData = randomBytes(n + 1), nearData = randomBytes(n + 1);
        const int bit = 64 + static_cast<int>(rng() % 64), value = static_cast<int>(rng() % 2);
        std::string wrong;
        serialExchange(pty, bytes({0x90 | n, far & 0xFF, far >> 8}) + farData);
        if (!serialExchange(pty, bytes({0xD0 | n, far & 0xFF, far >> 8}), farData)) wrong = "16-bit read";
        serialExchange(pty, bytes({0x80 | n, near}) + nearData);
        if (!serialExchange(pty, bytes({0xC0 | n, near}), nearData)) wrong = "8-bit read";
        serialExchange(pty, bytes({0xA0, bit, value}));
        if (!serialExchange(pty, bytes({0xE0, bit}), bytes({value}))) wrong = "bit read after a write";
        serialExchange(pty, bytes({0xB0, bit, 0}));
        if (!serialExchange(pty, bytes({0xE0, bit}), bytes({1 - value}))) wrong = "bit read after a toggle";
        // The status byte: any value, but exactly one byte.
        pty.write(bytes({0x10}));
        ++serialCommands;
        if (pty.read(1, 2000).size() != 1) wrong = "status";
        if (!wrong.empty()) {
            fail(errors, "serial " + wrong);
            // Whatever is left of a late reply would shift every reply after it.
            pty.read(64, 200);
        }
    }
}

struct Sample {
    double minute;
    long rssKb, fds;
};

Sample sample(pid_t pid, double minute) {
    Sample s{minute, -1, 0};
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (startsWith(line, "VmRSS:")) s.rssKb = std::atol(line.c_str() + 6);
    for ([[maybe_unused]] const auto& e : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd"))
        ++s.fds;
    return s;
}

std::string clockText(double seconds) {
    char text[16];
    std::snprintf(text, sizeof text, "%d:%02d", static_cast<int>(seconds) / 60,
                  static_cast<int>(seconds) % 60);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    const double minutes = argc > 1 ? std::atof(argv[1]) : 10.0;
    if (!(minutes > 0)) {
        std::fprintf(stderr, "usage: soak_bench [MINUTES]   (default 10; fractions such as 0.5 allowed)\n");
        return 2;
    }
    const double seconds = minutes * 60;

    TempDir dir;
    fs::copy(BRINDLECOR_SOURCE_DIR "/examples/demo", dir.path(), fs::copy_options::recursive);
    fs::remove(dir.file("demo.kvb"));
    const std::vector<std::string> env = {"XDG_CONFIG_HOME=" + dir.path()};
    const RunResult made =
        runProgram(programPath("tamarquill"), {"make", "--quiet", dir.file("demo.kvd")}, "", env);
    if (made.status != 0) {
        std::fprintf(stderr, "soak_bench: the demo does not make: %s\n", made.err.c_str());
        return 1;
    }
    PseudoTerminal pty;
    if (!pty.ok()) {
        std::fprintf(stderr, "soak_bench: no pseudo-terminal\n");
        return 1;
    }
    ServePorts ports;
    std::vector<std::string> args = ports.serveArgs(dir.file("demo.kvb"));
    args.insert(args.end(), {"--bind", "127.0.0.1", "--serial", pty.slavePath(), "--erase-delay", "0",
                             "--page-headers", "off"});
    BackgroundProgram serve(programPath("brindlecorpc"), args, env);
    if (!serve.waitForOutput("http://") || !pty.waitUntilOpened()) {
        std::fprintf(stderr, "soak_bench: the server did not start: %s\n", serve.err().c_str());
        return 1;
    }

    Reference ref;
    ref.logo = get(ports.http, "/logo.png").text;
    ref.notFound = get(ports.http, "/nosuch.htm").text;
    ref.saved = get(ports.http, "/set.kvi?setpoint=22&room=x&heater=1&mode=2").text;
    const std::string firstSaved = savedLine(22, 1, 2, "x");
    if (!startsWith(ref.logo, "HTTP/1.0 200 OK\r\n") || !startsWith(ref.notFound, "HTTP/1.0 404") ||
        ref.saved.find(firstSaved) == std::string::npos) {
        std::fprintf(stderr, "soak_bench: the demo answers unexpectedly:\n%s\n", shown(ref.saved).c_str());
        return 1;
    }
    ref.saved.replace(ref.saved.find(firstSaved), firstSaved.size(), "@");

    std::vector<std::thread> load;
    for (int i = 0; i < kHttpClients; ++i)
        load.emplace_back(httpClient, ports.http, std::cref(ref), static_cast<unsigned>(i + 1));
    load.emplace_back(ramWriter, ports.http, ports.ram, 1000u);
    load.emplace_back(serialHost, std::cref(pty), 2000u);

    // A sample closes each of `samples` equal periods (a minute each, or half of a shorter run); a download
    // falls in the middle of each.
    const int samples = std::max(2, static_cast<int>(std::ceil(minutes - 1e-9)));
    const double period = seconds / samples;
    std::vector<Sample> taken;
    const auto start = Clock::now();
    auto at = [&start](double s) {
        return start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(s));
    };
    double nextProgress = kProgressSeconds;
    for (int k = 1; k <= samples; ++k) {
        for (const double when : {(k - 0.5) * period, k * period}) {
            while (nextProgress < when) {
                std::this_thread::sleep_until(at(nextProgress));
                std::fprintf(
                    stderr,
                    "soak %s / %s: %ld requests, %ld records, %ld commands, %ld downloads, %ld errors, "
                    "%ld lost\n",
                    clockText(nextProgress).c_str(), clockText(seconds).c_str(), httpRequests.load(),
                    ramRecords.load(), serialCommands.load(), downloads.load(), errors.load(),
                    lostWrites.load());
                nextProgress += kProgressSeconds;
            }
            std::this_thread::sleep_until(at(when));
            gate.close();
            if (when == k * period) {
                // The server closes each connection before its client sees the end; a moment more lets any
                // work it queued for after a close run, so that the figures are those of an idle server.
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                taken.push_back(sample(serve.pid(), when / 60));
            } else {
                const RunResult r = runProgram(
                    programPath("tamarquill"),
                    {"download", dir.file("demo.kvb"), "--to", "127.0.0.1", "--port",
                     std::to_string(ports.download), "--local-port", std::to_string(freePort(true)), "--yes"},
                    "", env);
                ++downloads;
                if (r.status != 0)
                    fail(errors, "download: status " + std::to_string(r.status) + ": " + r.out + r.err);
            }
            if (k == samples && when == k * period) stopping = true;
            gate.open();
        }
    }
    for (auto& t : load) t.join();
    if (!serve.running()) fail(errors, "the server ended: " + serve.err());
    serve.stop();

    std::printf("soak of %.1f minutes, %d HTTP clients\n", minutes, kHttpClients);
    std::printf("HTTP requests:        %ld (%.0f/s)\n", httpRequests.load(), httpRequests / seconds);
    std::printf("RAM write records:    %ld\n", ramRecords.load());
    std::printf("serial commands:      %ld\n", serialCommands.load());
    std::printf("downloads:            %ld\n", downloads.load());
    std::printf("errors:               %ld\n", errors.load());
    std::printf("lost RAM writes:      %ld\n", lostWrites.load());
    for (const std::string& e : errorTexts) std::printf("  %s\n", e.c_str());
    std::printf("minute   VmRSS kB   descriptors\n");
    for (const Sample& s : taken) std::printf("%6.1f   %8ld   %11ld\n", s.minute, s.rssKb, s.fds);
    const long rssGrowth = taken.back().rssKb - taken.front().rssKb,
               fdGrowth = taken.back().fds - taken.front().fds;
    const bool rssFlat = rssGrowth <= kRssToleranceKb, fdsFlat = fdGrowth <= kFdTolerance;
    std::printf("memory growth:        %+ld kB, %s (tolerance %ld kB)\n", rssGrowth,
                rssFlat ? "flat" : "GROWING", kRssToleranceKb);
    std::printf("descriptor growth:    %+ld, %s (tolerance %ld)\n", fdGrowth, fdsFlat ? "flat" : "GROWING",
                kFdTolerance);
    const bool ok = errors == 0 && lostWrites == 0 && rssFlat && fdsFlat;
    std::printf("result:               %s\n", ok ? "pass" : "FAIL");
    return ok ? 0 : 1;
}
