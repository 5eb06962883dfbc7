// Renders the server's window for the README: serving the demo image after a couple of visits.
// Usage: brindlecorpc_screenshots DEMO_FOLDER OUTPUT_FOLDER (DEMO_FOLDER holds demo.kvb, which
// `tamarquill make DEMO_FOLDER/demo.kvd` writes).
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <cstdio>

#include "server/shell/window/server_window.h"

using brindlecor::server::ServerWindow;

namespace {

// One request of a visitor, answered before it returns.
bool visit(uint16_t port, const char* path) {
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!socket.waitForConnected(5000)) return false;
    socket.write(QByteArray("GET ") + path + " HTTP/1.0\r\n\r\n");
    QElapsedTimer clock;
    clock.start();
    // The server runs on this thread: it answers while the events are served here.
    while (socket.state() != QAbstractSocket::UnconnectedState && clock.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    return socket.state() == QAbstractSocket::UnconnectedState;
}

// The port the demo is served on: 8080 as a user without privileges gets it, unless it is taken here.
uint16_t httpPort() {
    QTcpServer probe;
    if (probe.listen(QHostAddress::AnyIPv4, 8080)) return 8080;
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("Usage: brindlecorpc_screenshots DEMO_FOLDER OUTPUT_FOLDER\n", stderr);
        return 2;
    }
    QTemporaryDir scratch;
    qputenv("XDG_CONFIG_HOME", scratch.filePath("config").toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", scratch.path().toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString image = scratch.filePath("demo/demo.kvb");
    const QString out = QString::fromLocal8Bit(argv[2]);
    if (!QDir().mkpath(scratch.filePath("demo")) ||
        !QFile::copy(QString::fromLocal8Bit(argv[1]) + "/demo.kvb", image) || !QDir().mkpath(out)) {
        std::fputs(
            "brindlecorpc_screenshots: cannot find demo.kvb (run tamarquill make on the demo first) "
            "or create the output folder\n",
            stderr);
        return 1;
    }

    brindlecor::server::ServeOptions options;
    options.httpPort = httpPort();
    options.httpPortGiven = true;
    // The UDP services on free ports, so that a server running here is left alone.
    options.downloadPort = options.namePort = options.ramPort = options.datagramPort = 0;
    ServerWindow window(options);
    window.startup();
    window.show();
    window.openFromOutside(image);
    const uint16_t port = window.session().server().runtime().listening().port;
    if (port == 0 || !visit(port, "/") || !visit(port, "/temp")) {
        std::fputs("brindlecorpc_screenshots: the window does not serve the demo\n", stderr);
        return 1;
    }
    QApplication::processEvents();
    if (!window.grab().save(out + "/brindlecorpc.png")) {
        std::fputs("brindlecorpc_screenshots: cannot write the picture\n", stderr);
        return 1;
    }
    return 0;
}
