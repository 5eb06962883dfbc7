// The definitions file compiler: reads a definitions file and the files it includes into the object table
// and the build settings, reporting problems through the build log.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "builder/definitions/build_state.h"
#include "builder/definitions/make_files.h"
#include "builder/image/build_log.h"

namespace brindlecor::builder {

class DefinitionsCompiler {
  public:
    // files, when given, records every file and folder the compile reads and decides whether $export writes.
    DefinitionsCompiler(BuildSettings& settings, std::vector<ObjectRecord>& objects, BuildLog& log,
                        MakeFiles* files = nullptr);

    // Compiles one file (and its includes), appending to the object table; the caller empties the table
    // before a make. Relative paths named inside a file are taken from that file's folder.
    void compileDefinitions(const std::string& path);

    static constexpr int kMaxIncludeDepth = 8;
    // File compilations in one make, the top file and every include counted.
    static constexpr int kMaxCompilations = 10000;

  private:
    struct SourceFile;
    enum class Flow { Continue, Stop };

    void compileFile(const std::string& path);
    Flow compileStatement(SourceFile& file, const std::string& atom);
    Flow compileDirective(SourceFile& file, const std::string& word, bool& handled);
    Flow compileDeclaration(SourceFile& file, const std::string& nameAsWritten);
    Flow setFlag(SourceFile& file, const std::string& title, int16_t& setting);
    bool setShortNumber(SourceFile& file, int16_t& setting);
    int32_t number(const std::string& literal);
    bool advanceCounter(SourceFile& file, int64_t by);
    void rebuildIndex();
    static std::string chainKey(const std::string& path);

    BuildSettings& settings_;
    std::vector<ObjectRecord>& objects_;
    BuildLog& log_;
    MakeFiles* files_;
    int16_t includeDepth_ = 0;
    std::vector<std::string> chain_;  // the files being compiled, from the top file down to this one
    int compilations_ = 0;
    bool stopped_ = false;  // the compile stopped altogether
    // hash -> first record with that hash; that record decides any later duplicate.
    std::unordered_map<int32_t, size_t> firstWithHash_;
};

}  // namespace brindlecor::builder
