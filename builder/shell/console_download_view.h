// What a download shows on the console: status texts, progress and boxes. A progress bar on stderr when it
// is a terminal, otherwise one status text per line on stdout; the log and errors go where the make sends
// them.
#pragma once

#include <string>
#include <string_view>

#include "builder/download/download_view.h"
#include "builder/shell/console_view.h"

namespace brindlecor::builder {

// A Yes/No/Cancel box on the console: the question on stderr, the answer from a terminal; Yes when
// assumeYes, No without a terminal to ask.
YesNoCancel askOnConsole(std::string_view title, std::string_view text, bool assumeYes);

// The text with its CR characters removed, for a terminal.
std::string withoutCarriageReturns(std::string_view text);

class ConsoleDownloadView : public DownloadView, public BuildView {
  public:
    ConsoleDownloadView(bool bar, bool assumeYes) : bar_(bar), assumeYes_(assumeYes) {}

    void showDownloadStatus(std::string_view text) override;
    void setProgressRange(int minimum, int maximum) override;
    void setProgressValue(int value) override { value_ = value; }
    YesNoCancel askYesNoCancel(std::string_view title, std::string_view text) override;
    void showInformation(std::string_view title, std::string_view text) override;
    void showLogErrorColours() override {}

    void appendLog(std::string_view text) override;
    void clearLog() override {}
    void showErrorState(bool) override {}
    void errorReported(std::string_view title, std::string_view text, const SourceLocation* where) override;
    Answer askOkCancel(std::string_view, std::string_view) override { return Answer::Ok; }
    void showErrorBox(std::string_view text) override;
    void siteFileChanged(const std::string&) override {}

    // Ends the progress bar's line, so that the next output starts on a line of its own.
    void endBar();

  private:
    void drawBar();

    ConsoleView console_{stdout, stderr};
    bool bar_;
    bool assumeYes_;
    bool barShown_ = false;
    std::string status_;
    int minimum_ = 0, maximum_ = 0, value_ = 0;
};

}  // namespace brindlecor::builder
