#include "common/settings_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace brindlecor {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kSection = "[Config]";

bool sameKey(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
        if (x != y) return false;
    }
    return true;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Holds the advisory lock of a settings file (a lock file beside it) from the read to the rename of one
// change, so that two processes changing the file at once both keep their change.
class FileLock {
  public:
    explicit FileLock(const std::string& settingsPath) {
        std::error_code ec;
        const fs::path target(settingsPath);
        if (target.has_parent_path()) fs::create_directories(target.parent_path(), ec);
        fd_ = ::open((settingsPath + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ < 0) return;  // a folder we cannot write: the write that follows says so
        while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    ~FileLock() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

  private:
    int fd_ = -1;
};

}  // namespace

std::string escapeSetting(std::string_view raw) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < raw.size(); ++i) {
        const auto c = static_cast<unsigned char>(raw[i]);
        const bool edgeSpace = c == ' ' && (i == 0 || i + 1 == raw.size());
        // A key must not begin like a comment or a section line.
        const bool lineStart = i == 0 && (c == '#' || c == '[');
        if (c == '\\') {
            out += "\\\\";
        } else if (c < 0x20 || c >= 0x7F || c == '=' || edgeSpace || lineStart) {
            out += "\\x";
            out += digits[c >> 4];
            out += digits[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

bool unescapeSetting(std::string_view text, std::string& out) {
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == '\\') {
            out += '\\';
            ++i;
        } else if (i + 3 < text.size() && text[i + 1] == 'x' && hexValue(text[i + 2]) >= 0 &&
                   hexValue(text[i + 3]) >= 0) {
            out += static_cast<char>(hexValue(text[i + 2]) * 16 + hexValue(text[i + 3]));
            i += 3;
        } else {
            return false;
        }
    }
    return true;
}

SettingsStore SettingsStore::forApplication(std::string_view application) {
    std::string folder;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) {
        folder = xdg;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        folder = std::string(home) + "/.config";
    } else {
        folder = ".";
    }
    return SettingsStore(folder + "/" + std::string(application) + ".conf");
}

SettingsStore::SettingsStore(std::string filePath) : path_(std::move(filePath)) { load(); }

void SettingsStore::load() {
    entries_.clear();
    damaged_ = false;
    std::ifstream in(path_, std::ios::binary);
    if (!in) return;  // no file yet: every key has its default
    std::string line;
    bool inSection = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '[') {
            inSection = line == kSection;
            continue;
        }
        const size_t eq = line.find('=');
        std::string key, value;
        if (eq == std::string::npos || !unescapeSetting(std::string_view(line).substr(0, eq), key) ||
            !unescapeSetting(std::string_view(line).substr(eq + 1), value) || key.empty()) {
            damaged_ = true;
            entries_.clear();
            return;
        }
        if (!inSection) continue;
        if (auto it = find(key); it != entries_.end()) {
            it->second = value;
        } else {
            entries_.emplace_back(std::move(key), std::move(value));
        }
    }
}

std::vector<std::pair<std::string, std::string>>::iterator SettingsStore::find(std::string_view key) {
    for (auto it = entries_.begin(); it != entries_.end(); ++it)
        if (sameKey(it->first, key)) return it;
    return entries_.end();
}

std::string SettingsStore::getSetting(std::string_view key, std::string_view defaultValue) const {
    for (const auto& [k, v] : entries_)
        if (sameKey(k, key)) return v;
    return std::string(defaultValue);
}

bool SettingsStore::saveSetting(std::string_view key, std::string_view value) {
    const FileLock lock(path_);
    load();  // another process of the same program may have written since
    if (auto it = find(key); it != entries_.end()) {
        it->second = std::string(value);
    } else {
        entries_.emplace_back(std::string(key), std::string(value));
    }
    return store();
}

bool SettingsStore::deleteSetting(std::string_view key) {
    const FileLock lock(path_);
    load();
    auto it = find(key);
    if (it == entries_.end()) return true;
    entries_.erase(it);
    return store();
}

bool SettingsStore::store() {
    std::error_code ec;
    const fs::path target(path_);
    if (target.has_parent_path()) fs::create_directories(target.parent_path(), ec);
    if (damaged_) {
        // Keep the unreadable file for the user rather than overwriting it silently.
        const std::string aside = path_ + ".damaged-" + std::to_string(std::time(nullptr));
        fs::rename(target, aside, ec);
        std::fprintf(stderr, "warning: settings file %s could not be read; kept as %s\n", path_.c_str(),
                     aside.c_str());
        damaged_ = false;
    }
    std::ostringstream text;
    text << kSection << '\n';
    for (const auto& [k, v] : entries_) text << escapeSetting(k) << '=' << escapeSetting(v) << '\n';
    const std::string temp = path_ + ".tmp." + std::to_string(::getpid());
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << text.str();
        out.flush();
        out.close();
        if (!out) {
            lastError_ = "Cannot write settings file " + temp;
            fs::remove(temp, ec);
            return false;
        }
    }
    fs::rename(temp, target, ec);
    if (ec) {
        lastError_ = "Cannot replace settings file " + path_ + ": " + ec.message();
        fs::remove(temp, ec);
        return false;
    }
    lastError_.clear();
    return true;
}

}  // namespace brindlecor
