// The build log on the command line: the log text goes to standard output exactly as the window shows it,
// and every reported error also to standard error as one line "FILE:LINE:COLUMN: TITLE Error: TEXT".
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "builder/image/build_log.h"

namespace brindlecor::builder {

// The error line of a report: the location as far as it is known ("FILE:LINE:COLUMN: ", "FILE:LINE: ",
// "FILE: " or nothing), then TITLE Error: TEXT with the text's lines joined by "; ".
std::string diagnosticLine(std::string_view title, std::string_view text, const SourceLocation* where);

// The lines of a text that the log shows on several lines, joined by "; " (empty lines dropped).
std::string joinedLines(std::string_view text);

class ConsoleView : public BuildView {
  public:
    // A null out drops the log; errors still go to err.
    ConsoleView(std::FILE* out, std::FILE* err) : out_(out), err_(err) {}

    void appendLog(std::string_view text) override;
    void clearLog() override {}
    void showErrorState(bool) override {}
    void errorReported(std::string_view title, std::string_view text, const SourceLocation* where) override;
    // Never asked: the command line runs with silent errors, so this only answers as they would.
    Answer askOkCancel(std::string_view, std::string_view) override { return Answer::Ok; }
    void showErrorBox(std::string_view text) override;
    void siteFileChanged(const std::string&) override {}

    // Errors reported and error boxes shown so far.
    int errorCount() const { return errors_; }

  private:
    void writeError(const std::string& line);

    std::FILE* out_;
    std::FILE* err_;
    int errors_ = 0;
};

}  // namespace brindlecor::builder
