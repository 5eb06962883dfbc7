#include "builder/shell/console_view.h"

#include <string>

namespace brindlecor::builder {

void ConsoleView::appendLog(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), out_);
}

void ConsoleView::errorReported(std::string_view title, std::string_view text, const SourceLocation* where) {
    std::string line;
    if (where && !where->file.empty()) {
        line += where->file;
        if (where->line > 0) line += ":" + std::to_string(where->line);
        line += ": ";
    }
    line += title;
    line += " Error: ";
    line += text;
    writeError(line);
}

void ConsoleView::showErrorBox(std::string_view text) {
    writeError(text);
}

// Terminals and tools reading stderr expect plain line feeds.
void ConsoleView::writeError(std::string_view text) {
    std::string plain;
    plain.reserve(text.size() + 1);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        plain += text[i];
    }
    plain += '\n';
    std::fflush(out_);  // keep the log and the errors in order on a shared terminal
    std::fwrite(plain.data(), 1, plain.size(), err_);
}

}  // namespace brindlecor::builder
