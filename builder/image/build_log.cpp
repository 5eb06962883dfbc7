#include "builder/image/build_log.h"

namespace brindlecor::builder {

namespace {
constexpr std::string_view kCrLf = "\r\n";
}

void BuildLog::logLine(std::string_view text) {
    std::string line(text);
    line += kCrLf;
    view_.appendLog(line);
}

void BuildLog::append(std::string_view text) { view_.appendLog(text); }

void BuildLog::clearLog() { view_.clearLog(); }

Answer BuildLog::reportError(std::string_view title, std::string_view text) {
    markError();
    std::string line(title);
    line += " Error: ";
    line += text;
    line += kCrLf;
    view_.appendLog(line);
    view_.errorReported(title, text, hasLocation_ ? &location_ : nullptr);
    if (silent_) return Answer::Ok;
    std::string message(title);
    message += " Error: \r\n\r\n";
    message += text;
    return view_.askOkCancel("Tamarquill Error", message);
}

void BuildLog::markError() {
    hasErrors_ = true;
    view_.showErrorState(true);
}

void BuildLog::clearErrors() {
    hasErrors_ = false;
    view_.showErrorState(false);
}

void BuildLog::setLocation(std::string file, int line, int column) {
    location_.file = std::move(file);
    location_.line = line;
    location_.column = column;
    hasLocation_ = true;
}

}  // namespace brindlecor::builder
