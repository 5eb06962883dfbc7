#include "builder/shell/input_watch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "builder/image/dependency_file.h"
#include "builder/image/site_paths.h"
#include "common/text.h"

namespace brindlecor::builder {

namespace {

constexpr uint32_t kWatchMask = IN_CREATE | IN_DELETE | IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_FROM |
                                IN_MOVED_TO | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

void splitPath(const std::string& path, std::string& folder, std::string& name) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        folder = ".";
        name = path;
    } else {
        folder = slash == 0 ? "/" : path.substr(0, slash);
        name = path.substr(slash + 1);
    }
}

std::string joinPath(const std::string& folder, const std::string& name) {
    return folder == "/" ? "/" + name : folder + "/" + name;
}

}  // namespace

bool WatchPlan::matters(const std::string& folder, const std::string& name) const {
    const auto entry = folders.find(folder);
    if (entry == folders.end()) return false;
    if (name.empty()) return true;  // the folder itself went away
    const std::string path = joinPath(folder, name);
    for (const std::string& output : outputs) {
        if (path == output) return false;
        // The temporary file an image or dependency file is written to before it is renamed into place.
        if (path.size() > output.size() + 5 && path.compare(0, output.size() + 1, output + ".") == 0 &&
            path.compare(path.size() - 5, 5, ".part") == 0)
            return false;
    }
    if (entry->second.names.count(name)) return true;
    if (!entry->second.everyEntry) return false;
    const std::string extension = lowerCase(fileExtension(name));
    return extension != "kvd" && extension != "kvb";  // the walk skips them
}

WatchPlan planWatch(const MakeFiles& files, const std::vector<std::string>& alsoWritten) {
    WatchPlan plan;
    for (const MakeFiles::Read& read : files.reads()) {
        const std::string path = absolutePath(read.path);
        std::string folder, name;
        splitPath(path, folder, name);
        if (!name.empty()) plan.folders[folder].names.insert(name);
        if (read.kind == MakeFiles::Kind::Folder && read.found) plan.folders[path].everyEntry = true;
    }
    for (const std::string& path : files.writes()) plan.outputs.insert(absolutePath(path));
    for (const std::string& path : alsoWritten) plan.outputs.insert(absolutePath(path));
    return plan;
}

FolderWatcher::FolderWatcher() {
    fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0) error_ = std::strerror(errno);
}

FolderWatcher::~FolderWatcher() {
    if (fd_ >= 0) close(fd_);
}

bool FolderWatcher::watch(const std::string& folder, std::string* problem) {
    if (byPath_.count(folder)) return true;
    const int wd = inotify_add_watch(fd_, folder.c_str(), kWatchMask);
    if (wd < 0) {
        // A folder that is not there is watched for through its parent.
        if (problem && errno != ENOENT && errno != ENOTDIR)
            *problem = folder + ": " + std::strerror(errno) +
                       (errno == ENOSPC ? " (fs.inotify.max_user_watches is too low)" : "");
        return false;
    }
    byWatch_[wd] = folder;
    byPath_[folder] = wd;
    return true;
}

std::vector<std::string> FolderWatcher::follow(const WatchPlan& plan) {
    std::vector<std::string> problems;
    for (auto it = byPath_.begin(); it != byPath_.end();) {
        if (plan.folders.count(it->first)) {
            ++it;
            continue;
        }
        const int wd = it->second;
        it = byPath_.erase(it);
        bool shared = false;  // one folder under two names has one watch
        for (const auto& [path, other] : byPath_) shared = shared || other == wd;
        if (!shared) {
            inotify_rm_watch(fd_, wd);
            byWatch_.erase(wd);
        }
    }
    for (const auto& [folder, interest] : plan.folders) {
        std::string problem;
        if (!watch(folder, &problem) && !problem.empty()) problems.push_back(problem);
    }
    return problems;
}

void FolderWatcher::forget(int wd) {
    const auto it = byWatch_.find(wd);
    if (it == byWatch_.end()) return;
    for (auto p = byPath_.begin(); p != byPath_.end();) p = p->second == wd ? byPath_.erase(p) : std::next(p);
    byWatch_.erase(it);
}

std::vector<FolderWatcher::Event> FolderWatcher::read() {
    std::vector<Event> events;
    alignas(inotify_event) char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n <= 0) break;
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
            Event event;
            event.mask = e->mask;
            if (!(e->mask & IN_Q_OVERFLOW)) {
                const auto folder = byWatch_.find(e->wd);
                if (folder == byWatch_.end()) continue;
                event.folder = folder->second;
                if (e->len > 0) event.name = e->name;
            }
            if (e->mask & IN_IGNORED) forget(e->wd);
            events.push_back(std::move(event));
        }
    }
    return events;
}

}  // namespace brindlecor::builder
