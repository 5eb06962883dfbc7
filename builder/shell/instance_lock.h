// The single-instance rule: a lock file in the user's runtime folder, held with flock for as long as the
// process runs, so that a crashed instance never blocks the next start.
#pragma once

#include <string>

namespace brindlecor::builder {

class InstanceLock {
  public:
    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // Takes the lock of the file; false when another process holds it (or the file cannot be opened, which is
    // then said in error()).
    bool acquire(const std::string& path);
    const std::string& error() const { return error_; }

  private:
    int fd_ = -1;
    std::string error_;
};

// "$XDG_RUNTIME_DIR/<name>.lock", or "<temporary folder>/<name>-<uid>.lock" without a runtime folder.
std::string instanceLockPath(const std::string& name);

}  // namespace brindlecor::builder
