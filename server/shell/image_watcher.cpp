#include "server/shell/image_watcher.h"

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "server/shell/server_runtime.h"

namespace brindlecor::server {

namespace {

// Changes that leave the file possibly unfinished (a write still going on, a removal that a new file may
// follow) are taken up once they have stopped this long.
constexpr int kSettleMs = 50;
constexpr int kRewatchMs = 1000;

constexpr uint32_t kFolderMask = IN_CLOSE_WRITE | IN_MOVED_TO | IN_CREATE | IN_MODIFY | IN_ATTRIB |
                                 IN_DELETE | IN_MOVED_FROM | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

constexpr const char* kStillServing = "; still serving the image loaded before";

}  // namespace

ImageWatcher::ImageWatcher(ServerRuntime& runtime, Printer reloaded, Printer problem, QObject* parent)
    : QObject(parent), runtime_(runtime), reloaded_(std::move(reloaded)), problem_(std::move(problem)) {
    settleTimer_.setSingleShot(true);
    settleTimer_.setInterval(kSettleMs);
    settleTimer_.setTimerType(Qt::PreciseTimer);
    connect(&settleTimer_, &QTimer::timeout, this, &ImageWatcher::settle);
    rewatchTimer_.setInterval(kRewatchMs);
    connect(&rewatchTimer_, &QTimer::timeout, this, [this] {
        if (watchFolder()) {
            rewatchTimer_.stop();
            settle();
        }
    });
}

ImageWatcher::~ImageWatcher() {
    notifier_.reset();
    if (fd_ >= 0) close(fd_);
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

std::optional<std::string> ImageWatcher::start(const std::string& path) {
    path_ = path;
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    folder_ = absolute.parent_path().string();
    name_ = absolute.filename().string();
    fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0) return std::string("cannot watch ") + path + ": " + std::strerror(errno);
    // The folder, not the file: a file renamed over the image is a new file, which a watch on the old one
    // would never see.
    if (!watchFolder()) return "cannot watch the folder " + folder_ + ": " + std::strerror(errno);
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &ImageWatcher::readEvents);
    loaded_ = stampOf(path_);
    // A change between now and the first open is caught once the event loop runs.
    QTimer::singleShot(0, this, &ImageWatcher::settle);
    return std::nullopt;
}

bool ImageWatcher::watchFolder() {
    watch_ = inotify_add_watch(fd_, folder_.c_str(), kFolderMask);
    return watch_ >= 0;
}

void ImageWatcher::readEvents() {
    alignas(inotify_event) char buffer[8192];
    bool complete = false, changed = false;
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n <= 0) break;
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
            if (e->mask & IN_Q_OVERFLOW) {
                changed = true;
                continue;
            }
            if (e->wd != watch_) continue;
            if (e->mask & IN_IGNORED) {
                // The folder went away; the image is missing until it comes back.
                watch_ = -1;
                rewatchTimer_.start();
                changed = true;
                continue;
            }
            if (e->mask & (IN_DELETE_SELF | IN_MOVE_SELF)) {
                changed = true;
                continue;
            }
            if (e->len == 0 || name_ != e->name) continue;
            if (e->mask & (IN_MOVED_TO | IN_CLOSE_WRITE)) {
                complete = true;
            } else {
                changed = true;
            }
        }
    }
    if (complete) {
        settleTimer_.stop();
        settle();
    } else if (changed) {
        settleTimer_.start();
    }
}

void ImageWatcher::settle() {
    const Stamp now = stampOf(path_);
    if (!now.exists) {
        if (!missingReported_) problem_(path_ + " is missing" + kStillServing);
        missingReported_ = true;
        return;
    }
    missingReported_ = false;
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
