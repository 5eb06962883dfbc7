#include "server/shell/image_watcher.h"

#include <sys/stat.h>

#include <QFileInfo>

#include "server/shell/server_runtime.h"

namespace brindlecor::server {

namespace {

// A writer that rewrites the file in place sends a burst of changes; the reload waits until they have
// stopped this long, so that it reads the finished file.
constexpr int kSettleMs = 10;

constexpr const char* kStillServing = "; still serving the image loaded before";

}  // namespace

ImageWatcher::ImageWatcher(ServerRuntime& runtime, Printer reloaded, Printer problem, QObject* parent)
    : QObject(parent), runtime_(runtime), reloaded_(std::move(reloaded)), problem_(std::move(problem)) {
    settleTimer_.setSingleShot(true);
    settleTimer_.setInterval(kSettleMs);
    settleTimer_.setTimerType(Qt::PreciseTimer);
    connect(&settleTimer_, &QTimer::timeout, this, &ImageWatcher::settle);
    connect(&watcher_, &QFileSystemWatcher::fileChanged, this, &ImageWatcher::changed);
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, &ImageWatcher::changed);
}

ImageWatcher::Stamp ImageWatcher::stampOf(const std::string& path) {
    struct stat st {};
    Stamp stamp;
    if (::stat(path.c_str(), &st) != 0) return stamp;
    stamp.exists = true;
    stamp.device = st.st_dev;
    stamp.inode = st.st_ino;
    stamp.size = st.st_size;
    stamp.modifiedNs = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    return stamp;
}

void ImageWatcher::start(const std::string& path) {
    path_ = path;
    filePath_ = QString::fromLocal8Bit(path.c_str());
    loaded_ = stampOf(path_);
    // The folder tells of a file renamed over the image; a watch on the file alone would stay with the
    // old file, which the rename removed.
    QString folder = QFileInfo(filePath_).absolutePath();
    watcher_.addPath(folder);
    watchFile();
    // A change between now and the first open is caught once the event loop runs.
    QTimer::singleShot(0, this, &ImageWatcher::settle);
}

void ImageWatcher::watchFile() {
    if (!watcher_.files().contains(filePath_) && QFileInfo::exists(filePath_)) watcher_.addPath(filePath_);
}

void ImageWatcher::changed() {
    settleTimer_.start();
}

void ImageWatcher::settle() {
    const Stamp now = stampOf(path_);
    if (!now.exists) {
        if (!missingReported_) problem_(path_ + " is missing" + kStillServing);
        missingReported_ = true;
        return;
    }
    missingReported_ = false;
    watchFile();
    if (now == loaded_ || now == refused_) return;
    if (auto error = runtime_.reload()) {
        refused_ = now;
        problem_(*error + kStillServing);
        return;
    }
    loaded_ = now;
    refused_ = Stamp{};
    reloaded_("Reloaded " + path_);
}

}  // namespace brindlecor::server
