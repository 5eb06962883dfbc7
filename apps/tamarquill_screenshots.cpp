// Renders the builder's window for the README: after a make of the demo, once clean and once with an error
// in a copy of its definitions. Usage: tamarquill_screenshots DEMO_FOLDER OUTPUT_FOLDER
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

#include "builder/shell/window/builder_window.h"

using brindlecor::builder::BuilderWindow;

namespace {

bool copyFolder(const QString& from, const QString& to) {
    QDir source(from);
    if (!QDir().mkpath(to)) return false;
    for (const QFileInfo& entry : source.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot)) {
        const QString target = to + "/" + entry.fileName();
        if (entry.isDir() ? !copyFolder(entry.filePath(), target) : !QFile::copy(entry.filePath(), target))
            return false;
    }
    return true;
}

bool render(BuilderWindow& window, const QString& path) {
    QApplication::processEvents();
    return window.grab().save(path);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("Usage: tamarquill_screenshots DEMO_FOLDER OUTPUT_FOLDER\n", stderr);
        return 2;
    }
    QTemporaryDir scratch;
    qputenv("XDG_CONFIG_HOME", scratch.filePath("config").toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", scratch.path().toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString demo = scratch.filePath("demo");
    const QString out = QString::fromLocal8Bit(argv[2]);
    if (!copyFolder(QString::fromLocal8Bit(argv[1]), demo) || !QDir().mkpath(out)) {
        std::fputs("tamarquill_screenshots: cannot copy the demo or create the output folder\n", stderr);
        return 1;
    }

    BuilderWindow window(BuilderWindow::Options{0});
    window.startup();
    window.show();
    window.openFromOutside(demo + "/demo.kvd");
    window.action("mnuMakeDefinitions")->trigger();
    bool ok = render(window, out + "/tamarquill.png");

    QFile definitions(demo + "/demo.kvd");
    if (!definitions.open(QIODevice::Append)) return 1;
    definitions.write("\r\nheater2 dbyte 1\r\n");
    definitions.close();
    window.action("mnuSilentErrors")->trigger();
    window.action("mnuMakeDefinitions")->trigger();
    ok = render(window, out + "/tamarquill-error.png") && ok;
    if (!ok) std::fputs("tamarquill_screenshots: cannot write the pictures\n", stderr);
    return ok ? 0 : 1;
}
