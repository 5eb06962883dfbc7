#include "server/shell/window/window_main.h"

#include <QApplication>
#include <QFileInfo>
#include <QHostAddress>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/settings_keys.h"
#include "common/settings_store.h"
#include "common/window_environment.h"
#include "server/shell/serve_options.h"
#include "server/shell/window/server_window.h"

namespace brindlecor::server {

namespace {

constexpr const char* kUsage =
    "Usage: brindlecorpc-window [OPTIONS] [IMAGE.kvb]\n"
    "Opens the server's window, with IMAGE.kvb opened and served when given.\n"
    "  --http-port N       the HTTP port (default: setting HttpPort, else 80, else 8080 without the\n"
    "                      privilege for 80)\n"
    "  --bind ADDRESS      listen on this address only (default: every IPv4 interface)\n"
    "  --download-port N   --name-port N   --ram-port N   --datagram-port N\n"
    "                      the UDP ports (default 26481, 26480, 26482, 4096)\n"
    "  --page-headers auto|on|off   --idle-timeout SECONDS\n"
    "                      as for 'brindlecorpc serve'\n"
    "The serial port is chosen in the Comm menu.\n";

// Nothing on success; the usage error otherwise.
std::optional<std::string> parseArgs(int argc, char** argv, ServeOptions& options) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        }
        if (arg == "--serial" || arg.rfind("--serial=", 0) == 0)
            return "the window chooses its serial port in the Comm menu; --serial is for 'brindlecorpc "
                   "serve'";
        args.push_back(arg);
    }
    const SettingsStore settings = SettingsStore::forApplication(brindlecor::settings::kServerApplication);
    if (auto error = parseServeOptions(args, settings, options, false)) return error;
    if (!options.bindAddress.empty() && QHostAddress(QString::fromStdString(options.bindAddress)).isNull())
        return "--bind needs an IP address, not '" + options.bindAddress + "'";
    if (!options.imagePath.empty() && !QFileInfo(QString::fromLocal8Bit(options.imagePath.c_str())).isFile())
        return "no such file: " + options.imagePath;
    return std::nullopt;
}

}  // namespace

int brindlecorpcWindowMain(int argc, char** argv) {
    ServeOptions options;
    if (auto error = parseArgs(argc, argv, options)) {
        std::fprintf(stderr, "brindlecorpc: %s\n%s", error->c_str(), kUsage);
        return 2;
    }
    if (!displayAvailable([](const char* name) -> const char* { return std::getenv(name); })) {
        std::fprintf(stderr, "brindlecorpc: %s\n", noDisplayMessage("brindlecorpc serve IMAGE.kvb").c_str());
        return 1;
    }
    // A client that goes away mid-response must not end the server.
    std::signal(SIGPIPE, SIG_IGN);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("BrindlecorPC"));
    const std::string image = options.imagePath;
    ServerWindow window(options);
    window.startup();
    window.show();
    if (!image.empty()) window.openFromOutside(QString::fromLocal8Bit(image.c_str()));
    return app.exec();
}

}  // namespace brindlecor::server
