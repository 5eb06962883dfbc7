// Test doubles for the image unit tests: a BuildView that records what the window would show, and a scratch
// folder removed at the end of the test.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "builder/image/build_log.h"

namespace brindlecor::builder::testing {

struct RecordingView : BuildView {
    std::string log;
    bool errorState = false;
    std::vector<std::string> errors;     // "title|text"
    std::vector<std::string> locations;  // "file:line" of each error, "" without one
    std::vector<int> columns;            // of each error, 0 when not known
    std::vector<std::string> boxes;
    std::vector<std::string> questions;  // "caption|message" of each OK/Cancel box
    Answer answer = Answer::Ok;

    void appendLog(std::string_view text) override { log += text; }
    void clearLog() override { log.clear(); }
    void showErrorState(bool errors) override { errorState = errors; }
    void errorReported(std::string_view title, std::string_view text, const SourceLocation* where) override {
        errors.push_back(std::string(title) + "|" + std::string(text));
        locations.push_back(where ? where->file + ":" + std::to_string(where->line) : "");
        columns.push_back(where ? where->column : 0);
    }
    Answer askOkCancel(std::string_view caption, std::string_view message) override {
        questions.push_back(std::string(caption) + "|" + std::string(message));
        return answer;
    }
    void showErrorBox(std::string_view text) override { boxes.emplace_back(text); }
    void siteFileChanged(const std::string&) override {}
};

class ScratchDir {
  public:
    ScratchDir() {
        std::random_device random;
        path_ =
            (std::filesystem::temp_directory_path() / ("image-test-" + std::to_string(random()))).string();
        std::filesystem::create_directories(path_);
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }
    std::string file(const std::string& relative) const { return path_ + "/" + relative; }
    void write(const std::string& relative, const std::string& bytes) const {
        const std::filesystem::path target = file(relative);
        std::filesystem::create_directories(target.parent_path());
        std::ofstream(target, std::ios::binary) << bytes;
    }
    std::string read(const std::string& relative) const {
        std::ifstream in(file(relative), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

  private:
    std::string path_;
};

}  // namespace brindlecor::builder::testing
