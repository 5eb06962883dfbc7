// The build log on the command line: the log text goes to standard output exactly as the window shows it,
// and every reported error also to standard error as "FILE:LINE: TITLE Error: TEXT".
#pragma once

#include <cstdio>

#include "builder/image/build_log.h"

namespace brindlecor::builder {

class ConsoleView : public BuildView {
  public:
    ConsoleView(std::FILE* out, std::FILE* err) : out_(out), err_(err) {}

    void appendLog(std::string_view text) override;
    void clearLog() override {}
    void showErrorState(bool) override {}
    void errorReported(std::string_view title, std::string_view text, const SourceLocation* where) override;
    // Never asked: the command line runs with silent errors, so this only answers as they would.
    Answer askOkCancel(std::string_view, std::string_view) override { return Answer::Ok; }
    void showErrorBox(std::string_view text) override;
    void siteFileChanged(const std::string&) override {}

  private:
    void writeError(std::string_view text);

    std::FILE* out_;
    std::FILE* err_;
};

}  // namespace brindlecor::builder
