#include "builder/shell/console_view.h"

namespace brindlecor::builder {

std::string joinedLines(std::string_view text) {
    std::string joined;
    size_t at = 0;
    while (at <= text.size()) {
        size_t end = text.find_first_of("\r\n", at);
        if (end == std::string_view::npos) end = text.size();
        if (end > at) {
            if (!joined.empty()) joined += "; ";
            joined.append(text.substr(at, end - at));
        }
        at = end + 1;
    }
    return joined;
}

std::string diagnosticLine(std::string_view title, std::string_view text, const SourceLocation* where) {
    std::string line;
    if (where && !where->file.empty()) {
        line += where->file;
        if (where->line > 0) {
            line += ":" + std::to_string(where->line);
            if (where->column > 0) line += ":" + std::to_string(where->column);
        }
        line += ": ";
    }
    line += title;
    line += " Error: ";
    line += joinedLines(text);
    return line;
}

void ConsoleView::appendLog(std::string_view text) {
    if (out_) std::fwrite(text.data(), 1, text.size(), out_);
}

void ConsoleView::errorReported(std::string_view title, std::string_view text, const SourceLocation* where) {
    writeError(diagnosticLine(title, text, where));
}

void ConsoleView::showErrorBox(std::string_view text) {
    writeError(joinedLines(text));
}

// One line per error, so that editors and scripts can take each as it comes.
void ConsoleView::writeError(const std::string& line) {
    ++errors_;
    if (out_) std::fflush(out_);  // keep the log and the errors in order on a shared terminal
    std::fwrite(line.data(), 1, line.size(), err_);
    std::fputc('\n', err_);
    std::fflush(err_);
}

}  // namespace brindlecor::builder
