#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QHostAddress>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>

#include "common/settings_keys.h"
#include "common/settings_store.h"
#include "server/shell/command_line.h"
#include "server/shell/device_server.h"
#include "server/shell/image_watcher.h"
#include "server/shell/serve_options.h"

namespace brindlecor::server {

namespace {

int signalPipe[2] = {-1, -1};

void onStopSignal(int) {
    const char byte = 1;
    // Only async-signal-safe work here: the event loop picks the byte up and quits.
    [[maybe_unused]] const ssize_t ignored = write(signalPipe[1], &byte, 1);
}

bool installStopSignals() {
    if (pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return sigaction(SIGINT, &action, nullptr) == 0 && sigaction(SIGTERM, &action, nullptr) == 0;
}

}  // namespace

int runServeCommand(int argc, char** argv, const std::vector<std::string>& args) {
    ServeOptions options;
    const SettingsStore settings = SettingsStore::forApplication(brindlecor::settings::kServerApplication);
    if (auto error = parseServeOptions(args, settings, options)) {
        std::fprintf(stderr, "brindlecorpc serve: %s\nTry 'brindlecorpc --help'.\n", error->c_str());
        return 2;
    }
    if (!options.bindAddress.empty() && QHostAddress(QString::fromStdString(options.bindAddress)).isNull()) {
        std::fprintf(stderr, "brindlecorpc serve: --bind needs an IP address, not '%s'\n",
                     options.bindAddress.c_str());
        return 2;
    }
    // A client that goes away mid-response must not end the server.
    std::signal(SIGPIPE, SIG_IGN);

    // Qt's own poll loop: the default one wakes itself through an event descriptor every time a notifier is
    // switched on or off, which costs two system calls each time.
    qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    DeviceServer server(options);
    ServerRuntime& runtime = server.runtime();
    server.serial().setPortOverride(options.serialPath);
    server.serial().setReporter(
        [](const std::string& text) { std::fprintf(stderr, "brindlecorpc serve: %s\n", text.c_str()); });
    // Watching starts before the image is read, so that no change between the two is missed.
    ImageWatcher imageWatcher(
        runtime,
        [](const std::string& line) {
            std::printf("%s\n", line.c_str());
            std::fflush(stdout);
        },
        [](const std::string& text) { std::fprintf(stderr, "brindlecorpc serve: %s\n", text.c_str()); });
    if (options.reloadOnChange) {
        if (auto error = imageWatcher.start(options.imagePath)) {
            std::fprintf(stderr, "brindlecorpc serve: %s\n", error->c_str());
            return 1;
        }
    }
    const DeviceServer::Opened opened = server.open(options.imagePath);
    switch (opened.outcome) {
        case DeviceServer::Opened::Outcome::ImageRefused:
            std::fprintf(stderr, "brindlecorpc serve: %s\n", opened.imageError.c_str());
            return 1;
        case DeviceServer::Opened::Outcome::CannotListen:
            std::fputs("Winsock Error - Cannot Listen\n", stderr);
            return 1;
        case DeviceServer::Opened::Outcome::Serving:
            break;
    }
    if (opened.listen.movedFromPrivileged)
        std::fprintf(stderr, "brindlecorpc serve: port 80 needs privileges; listening on port %u instead\n",
                     static_cast<unsigned>(opened.listen.port));
    if (!opened.udpError.empty()) std::fprintf(stderr, "brindlecorpc serve: %s\n", opened.udpError.c_str());
    if (!installStopSignals()) {
        std::perror("brindlecorpc serve: signals");
        return 1;
    }
    QSocketNotifier stopNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&stopNotifier, &QSocketNotifier::activated, &app, [] { QCoreApplication::quit(); });

    std::printf("%s\n", runtime.address().toLatin1().constData());
    std::fflush(stdout);
    app.exec();
    server.close();
    return 0;
}

}  // namespace brindlecor::server
