#include "common/path_text.h"

#include <filesystem>
#include <system_error>

namespace brindlecor {

namespace {
bool isSeparator(char c) { return c == '/' || c == '\\'; }
}  // namespace

std::string pathDisplayName(std::string_view path) {
    int seen = 0;
    for (size_t i = path.size(); i-- > 0;) {
        if (isSeparator(path[i]) && ++seen == 2) return ".." + std::string(path.substr(i));
    }
    return {};
}

std::string executableFolder() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return ".";
    return exe.parent_path().string();
}

std::string pathDirectory(std::string_view path) {
    for (size_t i = path.size(); i-- > 0;) {
        if (isSeparator(path[i])) return std::string(path.substr(0, i));
        if (path[i] == ':') return std::string(path.substr(0, i + 1));
    }
    return executableFolder();
}

bool addRecentEntry(std::vector<std::string>& list, const std::string& path) {
    if (list.empty() || list.front() == path) return false;
    size_t k = list.size() - 1;  // without a match the last entry is dropped
    for (size_t i = 1; i < list.size(); ++i) {
        if (list[i] == path) {
            k = i;
            break;
        }
    }
    for (size_t j = k; j > 0; --j) list[j] = list[j - 1];
    list[0] = path;
    return true;
}

}  // namespace brindlecor
