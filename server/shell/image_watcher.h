// `serve --reload-on-change`: reloads the served image whenever its file is replaced or rewritten (the
// builder writes a temporary file and renames it over the image; other tools rewrite it in place), as the
// window's Reload does: flash replaced from the file, then a reset. A file that is missing or refused at
// that moment leaves the old image serving, and the reason is reported once.
#pragma once

#include <sys/types.h>

#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>
#include <functional>
#include <string>

namespace brindlecor::server {

class ServerRuntime;

class ImageWatcher : public QObject {
    Q_OBJECT

  public:
    using Printer = std::function<void(const std::string&)>;
    // reloaded gets "Reloaded IMAGE" after each reload, problem the reason an image was not reloaded.
    ImageWatcher(ServerRuntime& runtime, Printer reloaded, Printer problem, QObject* parent = nullptr);

    // Watches the file at path from now on; its state now counts as the one loaded. Called before the image
    // is first opened, so that a change while it opens is still seen.
    void start(const std::string& path);

  private:
    struct Stamp {
        bool exists = false;
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        long long modifiedNs = 0;
        bool operator==(const Stamp&) const = default;
    };
    static Stamp stampOf(const std::string& path);

    void changed();
    void settle();
    void watchFile();

    ServerRuntime& runtime_;
    Printer reloaded_;
    Printer problem_;
    std::string path_;
    QString filePath_;
    QFileSystemWatcher watcher_;
    QTimer settleTimer_;
    Stamp loaded_;
    Stamp refused_;  // the file state last refused, so that it is reported and tried once
    bool missingReported_ = false;
};

}  // namespace brindlecor::server
