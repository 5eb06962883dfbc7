#include "builder/definitions/source_paths.h"

#include <filesystem>
#include <fstream>
#include <system_error>

namespace brindlecor::builder {

namespace fs = std::filesystem;

std::string resolveNamedPath(const std::string& namingFile, std::string path) {
    for (char& c : path)
        if (c == '\\') c = '/';
    if (path.empty() || path.front() == '/') return path;
    const size_t slash = namingFile.find_last_of("/\\");
    if (slash == std::string::npos) return path;  // the naming file's folder is the current one
    return namingFile.substr(0, slash + 1) + path;
}

std::optional<std::string> readWholeFile(const std::string& path) {
    std::error_code ec;
    if (path.empty() || !fs::is_regular_file(path, ec)) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string content;
    char buffer[65536];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) content.append(buffer, in.gcount());
    if (in.bad()) return std::nullopt;
    return content;
}

bool folderHoldsFile(const std::string& folder) {
    std::error_code ec;
    if (folder.empty()) return false;
    fs::directory_iterator it(folder, ec);
    if (ec) return false;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) return false;
        std::error_code typeError;
        if (it->is_regular_file(typeError)) return true;
    }
    return false;
}

}  // namespace brindlecor::builder
