// `tamarquill download`: the download of the window on the console, over a plain UDP socket.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>

#include "builder/download/download_password.h"
#include "builder/download/download_sender.h"
#include "builder/download/download_target.h"
#include "builder/shell/arp_flush.h"
#include "builder/shell/command_line.h"
#include "builder/shell/console_view.h"
#include "builder/shell/udp_port.h"
#include "common/download_protocol.h"
#include "common/settings_keys.h"
#include "common/settings_store.h"

namespace brindlecor::builder {

namespace {

std::string withoutCarriageReturns(std::string_view text) {
    std::string out;
    for (char c : text)
        if (c != '\r') out += c;
    return out;
}

// Status texts, progress and boxes on the console: a progress bar on stderr when it is a terminal,
// otherwise one status text per line on stdout. The log and errors go where the make sends them.
class ConsoleDownloadView : public DownloadView, public BuildView {
  public:
    ConsoleDownloadView(bool bar, bool assumeYes) : bar_(bar), assumeYes_(assumeYes) {}

    void showDownloadStatus(std::string_view text) override {
        status_ = text;
        if (bar_) {
            drawBar();
        } else {
            std::printf("%s\n", status_.c_str());
        }
    }
    void setProgressRange(int minimum, int maximum) override {
        minimum_ = minimum;
        maximum_ = maximum;
    }
    void setProgressValue(int value) override { value_ = value; }

    YesNoCancel askYesNoCancel(std::string_view title, std::string_view text) override {
        endBar();
        std::fprintf(stderr, "%s: %s\n", std::string(title).c_str(), withoutCarriageReturns(text).c_str());
        if (assumeYes_) return YesNoCancel::Yes;
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
    void showInformation(std::string_view title, std::string_view text) override {
        endBar();
        std::fprintf(stderr, "%s: %s\n", std::string(title).c_str(), withoutCarriageReturns(text).c_str());
    }
    void showLogErrorColours() override {}

    void appendLog(std::string_view text) override {
        endBar();
        console_.appendLog(text);
        std::fflush(stdout);
    }
    void clearLog() override {}
    void showErrorState(bool) override {}
    void errorReported(std::string_view title, std::string_view text, const SourceLocation* where) override {
        endBar();
        console_.errorReported(title, text, where);
    }
    Answer askOkCancel(std::string_view, std::string_view) override { return Answer::Ok; }
    void showErrorBox(std::string_view text) override {
        endBar();
        console_.showErrorBox(text);
    }
    void siteFileChanged(const std::string&) override {}

    void endBar() {
        if (!barShown_) return;
        std::fputc('\n', stderr);
        barShown_ = false;
    }

  private:
    void drawBar() {
        constexpr int width = 40;
        const int span = maximum_ - minimum_;
        const int filled = span > 0 ? (value_ - minimum_) * width / span : 0;
        std::string bar(static_cast<size_t>(std::clamp(filled, 0, width)), '#');
        bar.resize(width, '.');
        std::fprintf(stderr, "\r%-12s [%s] %d/%d\033[K", status_.c_str(), bar.c_str(), value_, maximum_);
        std::fflush(stderr);
        barShown_ = true;
    }

    ConsoleView console_{stdout, stderr};
    bool bar_;
    bool assumeYes_;
    bool barShown_ = false;
    std::string status_;
    int minimum_ = 0, maximum_ = 0, value_ = 0;
};

struct DownloadArgs {
    std::string image;
    std::string to;
    std::string password;
    bool hasPassword = false;
    int port = 0;
    int localPort = download::LOCAL_UDP_PORT;
    bool yes = false;
    bool verify = false;
};

std::optional<std::string> parseArgs(const std::vector<std::string>& args, DownloadArgs& out) {
    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::string value;
        bool hasValue = false;
        if (const size_t eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
            hasValue = true;
        }
        auto takeValue = [&]() -> std::optional<std::string> {
            if (hasValue) return value;
            if (i + 1 >= args.size()) return std::nullopt;
            return args[++i];
        };
        if (name == "--yes" || name == "--verify") {
            if (hasValue) return name + " takes no value";
            (name == "--yes" ? out.yes : out.verify) = true;
        } else if (name == "--to" || name == "--port" || name == "--password" || name == "--local-port") {
            const auto v = takeValue();
            if (!v) return name + " needs a value";
            if (name == "--to") {
                if (v->empty()) return "--to needs an address";
                out.to = *v;
            } else if (name == "--password") {
                out.password = *v;
                out.hasPassword = true;
            } else {
                const int port = *v == "0" && name == "--local-port" ? 0 : parsePort(*v);
                if (port == 0 && *v != "0") return name + " needs a port number 1-65535, not '" + *v + "'";
                (name == "--port" ? out.port : out.localPort) = port;
            }
        } else if (name.rfind("--", 0) == 0) {
            return "unknown option '" + name + "'";
        } else if (out.image.empty()) {
            out.image = name;
        } else {
            return "only one image file may be given";
        }
    }
    if (out.image.empty()) return "no image file given";
    return std::nullopt;
}

}  // namespace

int runDownloadCommand(const std::vector<std::string>& args) {
    DownloadArgs options;
    if (auto error = parseArgs(args, options)) {
        std::fprintf(stderr, "tamarquill download: %s\nTry 'tamarquill --help'.\n", error->c_str());
        return 2;
    }
    const SettingsStore settings = SettingsStore::forApplication(brindlecor::settings::kBuilderApplication);
    DownloadTarget target = loadDownloadTarget(settings);
    if (!options.to.empty()) target.address = options.to;
    if (options.port) target.port = options.port;
    const PasswordBytes password =
        options.hasPassword ? downloadPasswordBytes(options.password) : loadDownloadPassword(settings);

    if (!resolveIPv4(target.address)) {
        std::fprintf(stderr, "tamarquill download: no IPv4 address for '%s'\n", target.address.c_str());
        return 1;
    }
    UdpPort port;
    if (auto error = port.open(options.localPort)) {
        std::fprintf(stderr, "tamarquill download: %s (--local-port chooses another)\n", error->c_str());
        return 1;
    }

    ConsoleDownloadView view(isatty(STDERR_FILENO) != 0, options.yes);
    BuildLog log(view);
    log.setSilentErrors(true);
    DownloadSender sender(port, view, log, wallClockSeconds, flushArpCache);
    sender.setTarget(target.address, target.port);
    sender.setPassword(password);
    sender.setVerify(options.verify);
    sender.start(options.image);
    runDownload(port, sender);
    view.endBar();
    std::fflush(stdout);
    return sender.outcome() == DownloadOutcome::Done ? 0 : 1;
}

}  // namespace brindlecor::builder
