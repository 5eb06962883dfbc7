// Test doubles for the definitions tests: a BuildView that records log text, errors with their locations and
// the site file, answering the error boxes from a script; a scratch folder; and a one-call compile.
#pragma once

#include <deque>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "builder/definitions/build_state.h"
#include "builder/definitions/definitions_compiler.h"
#include "builder/image/build_log.h"

namespace brindlecor::builder::definitions_testing {

struct ScriptedView : BuildView {
    std::string log;
    std::vector<std::string> errors;     // "title|text"
    std::vector<std::string> locations;  // "file:line", "" when none was set
    std::vector<int> columns;            // of each error, 0 when not known
    std::vector<std::string> siteFiles;
    std::deque<Answer> answers;  // answered in turn, then OK
    int boxesAsked = 0;

    void appendLog(std::string_view text) override { log += text; }
    void clearLog() override { log.clear(); }
    void showErrorState(bool) override {}
    void errorReported(std::string_view title, std::string_view text, const SourceLocation* where) override {
        errors.push_back(std::string(title) + "|" + std::string(text));
        locations.push_back(where ? where->file + ":" + std::to_string(where->line) : "");
        columns.push_back(where ? where->column : 0);
    }
    Answer askOkCancel(std::string_view, std::string_view) override {
        ++boxesAsked;
        if (answers.empty()) return Answer::Ok;
        const Answer answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void showErrorBox(std::string_view) override {}
    void siteFileChanged(const std::string& path) override { siteFiles.push_back(path); }
};

class Scratch {
  public:
    Scratch() {
        std::random_device random;
        path_ = (std::filesystem::temp_directory_path() / ("defs-test-" + std::to_string(random()))).string();
        std::filesystem::create_directories(path_);
    }
    ~Scratch() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& relative) const { return path_ + "/" + relative; }
    std::string write(const std::string& relative, const std::string& bytes) const {
        const std::filesystem::path target = file(relative);
        std::filesystem::create_directories(target.parent_path());
        std::ofstream(target, std::ios::binary) << bytes;
        return target.string();
    }
    std::string read(const std::string& relative) const {
        std::ifstream in(file(relative), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

  private:
    std::string path_;
};

// One builder's state and a compiler over it, as a make would use them.
struct Session {
    ScriptedView view;
    BuildLog log{view};
    BuildSettings settings;
    std::vector<ObjectRecord> objects;
    DefinitionsCompiler compiler{settings, objects, log};

    // Empties the table and compiles the file, as a make does.
    void make(const std::string& path) {
        objects.clear();
        compiler.compileDefinitions(path);
    }
    const ObjectRecord* find(const std::string& name) const {
        for (const auto& object : objects)
            if (object.name == name) return &object;
        return nullptr;
    }
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const auto& object : objects) out.push_back(object.name);
        return out;
    }
};

}  // namespace brindlecor::builder::definitions_testing
