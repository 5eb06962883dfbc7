// Fuzz target: the input as a definitions file compiled into an object table with a silent build log, and
// the scanner's atoms, number literals, percent escapes and ^name^ references over the same bytes.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "builder/definitions/build_state.h"
#include "builder/definitions/definitions_compiler.h"
#include "builder/definitions/scanner.h"
#include "builder/image/build_log.h"
#include "common/text.h"
#include "fuzz/fuzz_target.h"

namespace {

namespace bld = brindlecor::builder;
namespace fs = std::filesystem;

constexpr const char* kFileName = "fuzz.kvd";

struct NullView : bld::BuildView {
    void appendLog(std::string_view) override {}
    void clearLog() override {}
    void showErrorState(bool) override {}
    void errorReported(std::string_view, std::string_view, const bld::SourceLocation*) override {}
    bld::Answer askOkCancel(std::string_view, std::string_view) override { return bld::Answer::Ok; }
    void showErrorBox(std::string_view) override {}
    void siteFileChanged(const std::string&) override {}
};

// A private folder that holds only the file being compiled, removed when the fuzzer exits.
class ScratchFolder {
  public:
    ScratchFolder() {
        std::string pattern = (fs::temp_directory_path() / "definitions-fuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        path_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

// The compiler reads and writes files that the text names: $export writes the export files, and an $include,
// $exportformatfile or $sitepath outside the scratch folder would make the outcome depend on the machine. So
// the file is compiled only when it exports nothing, names no path outside its folder, and includes itself
// at most once (each self-include compiles the whole file again, up to the nesting limit). The compiler
// takes its atoms in the order getatom gives them, so this walk sees every directive and argument it would.
bool staysInScratchFolder(const std::vector<std::string>& atoms) {
    int selfIncludes = 0;
    for (size_t i = 0; i < atoms.size(); ++i) {
        const std::string word = brindlecor::lowerCase(atoms[i]);
        if (word == "$export") return false;
        if (word != "$include" && word != "$exportformatfile" && word != "$sitepath") continue;
        if (i + 1 >= atoms.size()) continue;
        const std::string& argument = atoms[i + 1];
        if (argument.find_first_of(std::string("/\\\0", 3)) != std::string::npos) return false;
        if (argument.find("..") != std::string::npos) return false;
        if (word == "$include" && argument == kFileName && ++selfIncludes > 1) return false;
    }
    return true;
}

void scanAll(const std::string& text, std::vector<std::string>& atoms) {
    int32_t position = 1;
    while (true) {
        bool quoted = false;
        int32_t start = 0;
        const int32_t before = position;
        std::string atom = bld::getatom(text, position, quoted, start);
        if (atom.empty() && !quoted) break;
        if (position <= before) __builtin_trap();  // an atom that does not advance would loop forever
        bld::crackNumberChecked(atom);
        bld::hex4(bld::cracknumber(atom));
        bld::HTTPprocess(atom);
        atoms.push_back(std::move(atom));
    }
    bld::HTTPprocess(text);
    for (size_t at = text.find('^'); at != std::string::npos; at = text.find('^', at + 1)) {
        int32_t position = static_cast<int32_t>(at) + 1;
        bld::parseReference(text, position);
        if (position < static_cast<int32_t>(at) + 1) __builtin_trap();
        at = static_cast<size_t>(position) - 1;
    }
}

}  // namespace

BRINDLECOR_FUZZ_TARGET(fuzzDefinitions) {
    static const ScratchFolder folder;
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> atoms;
    scanAll(text, atoms);
    if (!staysInScratchFolder(atoms)) return 0;

    const std::string path = folder.path() + "/" + kFileName;
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        if (!out) std::abort();
    }
    NullView view;
    bld::BuildLog log(view);
    log.setSilentErrors(true);
    bld::BuildSettings settings;
    std::vector<bld::ObjectRecord> objects;
    bld::DefinitionsCompiler compiler(settings, objects, log);
    compiler.compileDefinitions(path);
    unlink(path.c_str());
    return 0;
}
