// `serve --reload-on-change`: reloads the served image whenever its file is replaced or rewritten, as the
// window's Reload does: flash replaced from the file, then a reset. A file renamed over the image (the
// builder's way of writing it) or closed by its writer is complete and loaded at once; other changes are
// loaded once they have stopped for a moment. A file that is missing or refused at that moment leaves the
// old image serving, and the reason is reported once.
#pragma once

#include <sys/types.h>

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace brindlecor::server {

class ServerRuntime;

class ImageWatcher : public QObject {
    Q_OBJECT

  public:
    using Printer = std::function<void(const std::string&)>;
    // reloaded gets "Reloaded IMAGE" after each reload, problem the reason an image was not reloaded.
    ImageWatcher(ServerRuntime& runtime, Printer reloaded, Printer problem, QObject* parent = nullptr);
    ~ImageWatcher() override;

    // Watches the file at path from now on; its state now counts as the one loaded. Called before the image
    // is first opened, so that a change while it opens is still seen. The error text when the folder
    // cannot be watched.
    std::optional<std::string> start(const std::string& path);

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

    bool watchFolder();
    void readEvents();
    void settle();

    ServerRuntime& runtime_;
    Printer reloaded_;
    Printer problem_;
    std::string path_;
    std::string folder_;
    std::string name_;
    int fd_ = -1;
    int watch_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
    QTimer settleTimer_;
    QTimer rewatchTimer_;  // while the folder itself is gone
    Stamp loaded_;
    Stamp refused_;  // the file state last refused, so that it is reported and tried once
    bool missingReported_ = false;
};

}  // namespace brindlecor::server
