// The build log: progress lines, reported errors and the error state, as the log window, its colours and the
// error panel show them. The log talks to a BuildView, which the window and the console implement.
#pragma once

#include <string>
#include <string_view>

namespace brindlecor::builder {

enum class Answer { Ok, Cancel };

// Where the statement or page being processed stands, for console error lines (FILE:LINE:COLUMN).
struct SourceLocation {
    std::string file;
    int line = 0;    // 0 when only the file is known
    int column = 0;  // 1-based byte column of the statement or reference; 0 when not known
};

class BuildView {
public:
    virtual ~BuildView() = default;
    // Appends raw text to the log window (line ends are part of the text) and shows its end.
    virtual void appendLog(std::string_view text) = 0;
    virtual void clearLog() = 0;
    // Error colours (yellow on blue) and "Errors" in the error panel, or back to black on white and empty.
    virtual void showErrorState(bool errors) = 0;
    // Called for every reported error, silent or not; `where` is null when no statement is being compiled.
    virtual void errorReported(std::string_view title, std::string_view text, const SourceLocation* where) = 0;
    // A box with the exclamation icon and OK and Cancel (caption "Tamarquill Error" for reported errors);
    // asked only when Silent Errors is off.
    virtual Answer askOkCancel(std::string_view caption, std::string_view message) = 0;
    // A box with the error icon and an OK button, shown in silent mode too.
    virtual void showErrorBox(std::string_view text) = 0;
    // A $sitefile directive made this path the current site file.
    virtual void siteFileChanged(const std::string& path) = 0;
};

class BuildLog {
public:
    explicit BuildLog(BuildView& view) : view_(view) {}

    // Appends text and CR LF.
    void logLine(std::string_view text);
    // Appends text as it stands.
    void append(std::string_view text);
    void clearLog();

    // Logs title + " Error: " + text, sets the error state, and asks OK/Cancel unless silent.
    Answer reportError(std::string_view title, std::string_view text);
    // Sets the error state without a log line (a failure shown only in its own box).
    void markError();
    void clearErrors();
    bool hasErrors() const { return hasErrors_; }

    bool silentErrors() const { return silent_; }
    void setSilentErrors(bool silent) { silent_ = silent; }

    // The statement being compiled, for the console's FILE:LINE:COLUMN prefix.
    void setLocation(std::string file, int line, int column = 0);
    void clearLocation() { hasLocation_ = false; }

    BuildView& view() { return view_; }

private:
    BuildView& view_;
    bool hasErrors_ = false;
    bool silent_ = false;
    bool hasLocation_ = false;
    SourceLocation location_;
};

}  // namespace brindlecor::builder
