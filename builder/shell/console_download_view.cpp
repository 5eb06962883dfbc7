#include "builder/shell/console_download_view.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <iostream>

namespace brindlecor::builder {

std::string withoutCarriageReturns(std::string_view text) {
    std::string out;
    for (char c : text)
        if (c != '\r') out += c;
    return out;
}

YesNoCancel askOnConsole(std::string_view title, std::string_view text, bool assumeYes) {
    std::fprintf(stderr, "%s: %s\n", std::string(title).c_str(), withoutCarriageReturns(text).c_str());
    if (assumeYes) return YesNoCancel::Yes;
    if (!isatty(STDIN_FILENO)) {
        std::fputs("tamarquill download: not confirmed (no terminal); --yes downloads it\n", stderr);
        return YesNoCancel::No;
    }
    std::fputs("[y]es, [n]o, [c]ancel? ", stderr);
    std::string answer;
    std::getline(std::cin, answer);
    if (answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes") return YesNoCancel::Yes;
    if (answer == "n" || answer == "N" || answer == "no" || answer == "No") return YesNoCancel::No;
    return YesNoCancel::Cancel;
}

void ConsoleDownloadView::showDownloadStatus(std::string_view text) {
    status_ = text;
    if (bar_) {
        drawBar();
    } else {
        std::printf("%s\n", status_.c_str());
    }
}

void ConsoleDownloadView::setProgressRange(int minimum, int maximum) {
    minimum_ = minimum;
    maximum_ = maximum;
}

YesNoCancel ConsoleDownloadView::askYesNoCancel(std::string_view title, std::string_view text) {
    endBar();
    return askOnConsole(title, text, assumeYes_);
}

void ConsoleDownloadView::showInformation(std::string_view title, std::string_view text) {
    endBar();
    std::fprintf(stderr, "%s: %s\n", std::string(title).c_str(), withoutCarriageReturns(text).c_str());
}

void ConsoleDownloadView::appendLog(std::string_view text) {
    endBar();
    console_.appendLog(text);
    std::fflush(stdout);
}

void ConsoleDownloadView::errorReported(std::string_view title, std::string_view text,
                                        const SourceLocation* where) {
    endBar();
    console_.errorReported(title, text, where);
}

void ConsoleDownloadView::showErrorBox(std::string_view text) {
    endBar();
    console_.showErrorBox(text);
}

void ConsoleDownloadView::endBar() {
    if (!barShown_) return;
    std::fputc('\n', stderr);
    barShown_ = false;
}

void ConsoleDownloadView::drawBar() {
    constexpr int width = 40;
    const int span = maximum_ - minimum_;
    const int filled = span > 0 ? (value_ - minimum_) * width / span : 0;
    std::string bar(static_cast<size_t>(std::clamp(filled, 0, width)), '#');
    bar.resize(width, '.');
    std::fprintf(stderr, "\r%-12s [%s] %d/%d\033[K", status_.c_str(), bar.c_str(), value_, maximum_);
    std::fflush(stderr);
    barShown_ = true;
}

}  // namespace brindlecor::builder
