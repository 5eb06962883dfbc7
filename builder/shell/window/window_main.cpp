#include "builder/shell/window/window_main.h"

#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QMessageBox>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "builder/download/download_target.h"
#include "builder/shell/builder_session.h"
#include "builder/shell/instance_lock.h"
#include "builder/shell/window/builder_window.h"
#include "common/window_environment.h"

namespace brindlecor::builder {

namespace {

constexpr const char* kUsage =
    "Usage: tamarquill-window [--local-port N] [FILE]\n"
    "Opens the builder's window, with FILE (a definitions file or an image) opened when given.\n"
    "  --local-port N   the local UDP port downloads are sent from (default 26000)\n";

struct WindowArgs {
    int localPort = 26000;
    std::string file;
};

// Nothing on success; the usage error otherwise.
std::optional<std::string> parseArgs(int argc, char** argv, WindowArgs& out) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--local-port" || arg.rfind("--local-port=", 0) == 0) {
            std::string value;
            if (arg == "--local-port") {
                if (++i >= argc) return "--local-port needs a port number";
                value = argv[i];
            } else {
                value = std::string(arg.substr(13));
            }
            out.localPort = parsePort(value);
            if (!out.localPort) return "--local-port needs a port number 1-65535, not '" + value + "'";
        } else if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else if (arg.rfind("--", 0) == 0 && arg != "--") {
            return "unknown option '" + std::string(arg) + "'";
        } else if (out.file.empty()) {
            out.file = arg == "--" && i + 1 < argc ? argv[++i] : std::string(arg);
        } else {
            return "only one file may be given";
        }
    }
    if (!out.file.empty() && !QFileInfo(QString::fromLocal8Bit(out.file.c_str())).isFile())
        return "no such file: " + out.file;
    return std::nullopt;
}

}  // namespace

int tamarquillWindowMain(int argc, char** argv) {
    WindowArgs args;
    if (auto error = parseArgs(argc, argv, args)) {
        std::fprintf(stderr, "tamarquill: %s\n%s", error->c_str(), kUsage);
        return 2;
    }
    if (!displayAvailable([](const char* name) -> const char* { return std::getenv(name); })) {
        std::fprintf(stderr, "tamarquill: %s\n", noDisplayMessage("tamarquill make").c_str());
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tamarquill"));
    // The desktop entry and the installed icon, so that the desktop shows the window as that program.
    QGuiApplication::setDesktopFileName(QStringLiteral("tamarquill"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("tamarquill")));
    BuilderWindow window(BuilderWindow::Options{args.localPort});

    InstanceLock lock;
    if (!lock.acquire(instanceLockPath("tamarquill"))) {
        if (lock.error().empty()) {
            const QString text = fromSystemText(kAnotherCopyText).replace(QStringLiteral("\r\n"), "\n");
            std::fprintf(stderr, "tamarquill: %s\n", text.toLocal8Bit().constData());
            std::fflush(stderr);
            QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Tamarquill"), text, QMessageBox::Ok);
            box.exec();
            return 1;
        }
        // A runtime folder we cannot write is no reason to refuse the window.
        std::fprintf(stderr, "tamarquill: warning: %s\n", lock.error().c_str());
    }

    window.startup();
    window.show();
    if (!args.file.empty()) window.openFromOutside(QString::fromLocal8Bit(args.file.c_str()));
    return app.exec();
}

}  // namespace brindlecor::builder
