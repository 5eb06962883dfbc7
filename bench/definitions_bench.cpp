// The definitions compiler on a full object table (10000 declarations) against reading and copying the same
// file, in one process: prints both times and their ratio. Run bin/definitions_bench.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unordered_set>
#include <vector>

#include "builder/definitions/definitions_compiler.h"
#include "builder/definitions/source_paths.h"
#include "common/name_hash.h"
#include "common/text.h"

using namespace brindlecor;
using namespace brindlecor::builder;

namespace {

struct QuietView : BuildView {
    int errors = 0;
    void appendLog(std::string_view) override {}
    void clearLog() override {}
    void showErrorState(bool) override {}
    void errorReported(std::string_view, std::string_view, const SourceLocation*) override { ++errors; }
    Answer askOkCancel(std::string_view, std::string_view) override { return Answer::Ok; }
    void showErrorBox(std::string_view) override {}
    void siteFileChanged(const std::string&) override {}
};

template <typename F>
double bestMilliseconds(int rounds, F&& run) {
    double best = 1e30;
    for (int i = 0; i < rounds; ++i) {
        const auto start = std::chrono::steady_clock::now();
        run();
        const auto end = std::chrono::steady_clock::now();
        best = std::min(best, std::chrono::duration<double, std::milli>(end - start).count());
    }
    return best;
}

}  // namespace

int main() {
    const std::string path = (std::filesystem::temp_directory_path() / "definitions_bench.kvd").string();
    std::string text = "; generated\r\n$outputonly\r\norg 100h\r\n";
    std::unordered_set<int32_t> hashes;
    for (int i = 0, declared = 0; declared < static_cast<int>(kMaxObjects); ++i) {
        const std::string name = "Var_" + std::to_string(i);
        if (!hashes.insert(calcHASH(lowerCase(name))).second) continue;  // keep the table free of clashes
        ++declared;
        switch (i % 4) {
            case 0:
                text += name + " db 5 ; a byte\r\n";
                break;
            case 1:
                text += name + " dw 1234h\r\n";
                break;
            case 2:
                text += name + " dhex 1\r\n";
                break;
            default:
                text += name + " db \"text%20value\"\r\n";
                break;
        }
    }
    std::ofstream(path, std::ios::binary) << text;

    QuietView view;
    BuildLog log(view);
    BuildSettings settings;
    std::vector<ObjectRecord> objects;
    const double compile = bestMilliseconds(20, [&] {
        objects.clear();
        DefinitionsCompiler(settings, objects, log).compileDefinitions(path);
    });
    const double copy = bestMilliseconds(20, [&] {
        const auto content = readWholeFile(path);
        std::ofstream(path + ".copy", std::ios::binary) << *content;
    });
    std::printf("definitions: %zu objects from %zu bytes, %d errors\n", objects.size(), text.size(),
                view.errors);
    std::printf("compile %.2f ms, read+copy %.2f ms, ratio %.1f\n", compile, copy, compile / copy);
    std::filesystem::remove(path);
    std::filesystem::remove(path + ".copy");
    return 0;
}
