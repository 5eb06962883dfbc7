#include "builder/shell/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace brindlecor::builder {

InstanceLock::~InstanceLock() {
    if (fd_ >= 0) ::close(fd_);
}

bool InstanceLock::acquire(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        error_ = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        error_ = errno == EWOULDBLOCK ? std::string() : "cannot lock " + path + ": " + std::strerror(errno);
        ::close(fd);
        return false;
    }
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
    error_.clear();
    return true;
}

std::string instanceLockPath(const std::string& name) {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
        return std::string(runtime) + "/" + name + ".lock";
    std::error_code ec;
    std::string folder = std::filesystem::temp_directory_path(ec).string();
    if (ec || folder.empty()) folder = "/tmp";
    return folder + "/" + name + "-" + std::to_string(::getuid()) + ".lock";
}

}  // namespace brindlecor::builder
