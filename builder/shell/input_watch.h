// What `make --watch` waits for. A plan, made from what the last make read and wrote, names the folders to
// watch and the entries in each whose change calls for a new make: every entry of a site folder, the named
// files elsewhere (the definitions, includes and templates, found or not yet). The watcher follows a plan
// with inotify: folders rather than files, so that a file an editor replaces by renaming is still seen.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "builder/definitions/make_files.h"

namespace brindlecor::builder {

struct WatchPlan {
    struct Folder {
        bool everyEntry = false;      // a folder the site walk listed
        std::set<std::string> names;  // entries read or looked for
    };
    std::map<std::string, Folder> folders;  // absolute paths
    std::set<std::string> outputs;  // absolute paths of what the make writes: their changes are its own

    // True when a change of the entry `name` of `folder` (absolute) calls for a new make.
    bool matters(const std::string& folder, const std::string& name) const;
    // Watches every entry of a folder that appeared inside a site folder, before any make has walked it.
    void addSiteFolder(const std::string& folder) { folders[folder].everyEntry = true; }
};

// The plan for the reads and writes of a make, and further files it writes (the dependency file).
WatchPlan planWatch(const MakeFiles& files, const std::vector<std::string>& alsoWritten = {});

class FolderWatcher {
  public:
    FolderWatcher();
    ~FolderWatcher();
    FolderWatcher(const FolderWatcher&) = delete;
    FolderWatcher& operator=(const FolderWatcher&) = delete;

    // The error text when inotify is not available; empty when it is.
    const std::string& error() const { return error_; }
    // Readable when events are waiting.
    int descriptor() const { return fd_; }

    // Watches exactly the folders of the plan that exist. Returns "FOLDER: reason" for each folder that
    // exists but could not be watched (a full inotify watch table, for one).
    std::vector<std::string> follow(const WatchPlan& plan);
    bool watch(const std::string& folder, std::string* problem = nullptr);
    size_t watchedFolders() const { return byPath_.size(); }

    struct Event {
        std::string folder;  // empty for a queue overflow
        std::string name;    // empty when the event is about the folder itself
        uint32_t mask = 0;
    };
    // The events waiting now; none when nothing is waiting.
    std::vector<Event> read();

  private:
    void forget(int wd);

    int fd_ = -1;
    std::string error_;
    std::map<int, std::string> byWatch_;
    std::map<std::string, int> byPath_;
};

}  // namespace brindlecor::builder
