// Times `tamarquill make` on the largest project that fits an image (thousands of objects, pages full of
// references) against copying the same input files with cp, both measured here in the same run, and prints
// the ratio. Usage: make_bench [RUNS [FOLDER]]; with FOLDER the generated project is left there for
// profiling.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "common/name_hash.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

constexpr size_t kImageLimit = 49152;
constexpr int kObjects = 3000;
constexpr int kPages = 40;

struct Run {
    int status = -1;
    std::string out;
};

Run run(const std::vector<std::string>& argv, const std::string& outPath) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    Run result;
    if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) == 0) {
        int raw = 0;
        waitpid(pid, &raw, 0);
        result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    std::ifstream in(outPath, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    result.out = text.str();
    return result;
}

void write(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// Object names whose hashes differ from each other and from every site path used.
std::vector<std::string> objectNames(const std::set<int32_t>& taken) {
    std::set<int32_t> hashes = taken;
    std::vector<std::string> names;
    for (int i = 0; static_cast<int>(names.size()) < kObjects; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "v%04d", i);
        if (hashes.insert(brindlecor::calcHASH(name)).second) names.push_back(name);
    }
    return names;
}

std::string pagePath(int i) {
    char name[32];
    std::snprintf(name, sizeof name, "%s/page%02d.htm", i % 2 ? "sub" : ".", i);
    return name;
}

// The project: definitions and pages; the padding file tops the image up to the limit.
void writeProject(const fs::path& root, size_t padding, size_t& files, size_t& inputBytes) {
    std::set<int32_t> paths;
    for (int i = 0; i < kPages; ++i) {
        std::string p = pagePath(i);
        if (p.rfind("./", 0) == 0) p.erase(0, 2);
        paths.insert(brindlecor::calcHASH(p));
    }
    paths.insert(brindlecor::calcHASH("padding.bin"));
    const std::vector<std::string> names = objectNames(paths);

    static const char* kTypes[] = {"db 7", "dw -1234", "dd 100000", "dhex 0AFh"};
    static const int kSizes[] = {1, 2, 4, 1};
    std::string defs = "$sitepath \"site\"\r\n$sitefile \"out.kvb\"\r\norg 0\r\n";
    int counter = 0;
    for (int i = 0; i < kObjects; ++i) {
        if (counter > 0x2F0) {
            defs += "org 0\r\n";
            counter = 0;
        }
        defs += names[i] + " " + kTypes[i % 4] + "\r\n";
        counter += kSizes[i % 4];
    }
    write(root / "defs.kvd", defs);

    static const char* kForms[] = {"^%s^", "^%s+12^", "^%s*3^", "^%s:s^", "^%s$5^", "^%s-300^"};
    std::mt19937 random(42);
    for (int i = 0; i < kPages; ++i) {
        std::string page = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<html><body><table>\r\n";
        for (int k = 0; k < 16; ++k) {
            char reference[48];
            std::snprintf(reference, sizeof reference, kForms[random() % 6],
                          names[random() % kObjects].c_str());
            page += std::string("<tr><td>") + reference + "</td></tr>\r\n";
        }
        page += "</table></body></html>\r\n";
        write(root / "site" / pagePath(i), page);
    }
    write(root / "site" / "padding.bin", std::string(padding, 'p'));

    files = 0;
    inputBytes = 0;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file() || entry.path().filename() == "out.kvb") continue;
        ++files;
        inputBytes += entry.file_size();
    }
}

size_t imageLength(const std::string& log) {
    const std::string key = "Total Flash Memory Used: ";
    const size_t at = log.find(key);
    return at == std::string::npos ? 0 : std::stoul(log.substr(at + key.size()));
}

double medianMs(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 31;
    const std::string tamarquill = BRINDLECOR_BIN_DIR "/tamarquill";
    const bool keep = argc > 2;
    const fs::path work =
        keep ? fs::path(argv[2])
             : fs::temp_directory_path() / ("make-bench-" + std::to_string(std::random_device()()));
    auto finish = [&](int status) {
        if (!keep) fs::remove_all(work);
        return status;
    };
    const fs::path project = work / "project";
    const std::string logPath = (work / "log.txt").string();
    const std::vector<std::string> make = {tamarquill, "make", (project / "defs.kvd").string()};

    size_t files = 0, inputBytes = 0;
    writeProject(project, 0, files, inputBytes);
    const Run probe = run(make, logPath);
    const size_t unpadded = imageLength(probe.out);
    if (probe.status != 0 || unpadded == 0 || unpadded > kImageLimit) {
        std::fprintf(stderr, "make_bench: the generated project does not make cleanly:\n%s",
                     probe.out.c_str());
        return finish(1);
    }
    writeProject(project, kImageLimit - unpadded, files, inputBytes);
    const Run full = run(make, logPath);
    if (full.status != 0 || imageLength(full.out) != kImageLimit) {
        std::fprintf(stderr, "make_bench: the padded project does not fill the image:\n%s", full.out.c_str());
        return finish(1);
    }
    fs::remove(project / "out.kvb");

    const std::vector<std::string> copy = {"/bin/cp", "-r", project.string(), (work / "copy").string()};
    std::vector<double> makeTimes, copyTimes;
    for (int i = 0; i < runs; ++i) {
        // Alternate the two so that drift on a shared machine hits both alike.
        auto start = std::chrono::steady_clock::now();
        const Run made = run(make, logPath);
        makeTimes.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        fs::remove(project / "out.kvb");
        fs::remove_all(work / "copy");
        start = std::chrono::steady_clock::now();
        const Run copied = run(copy, (work / "cp.txt").string());
        copyTimes.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        if (made.status != 0 || copied.status != 0) {
            std::fprintf(stderr, "make_bench: a run failed\n");
            return finish(1);
        }
    }
    const double makeMs = medianMs(makeTimes);
    const double copyMs = medianMs(copyTimes);
    std::printf("project: %d objects, %zu files, %zu input bytes; image %zu bytes\n", kObjects, files,
                inputBytes, kImageLimit);
    std::printf("tamarquill make:        median %.2f ms over %d runs\n", makeMs, runs);
    std::printf("cp -r of the same files: median %.2f ms over %d runs\n", copyMs, runs);
    std::printf("ratio make / copy: %.2f (target: within 2)\n", makeMs / copyMs);
    return finish(0);
}
