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

FileRead readSourceFile(const std::string& path, uintmax_t limit) {
    FileRead result;
    std::error_code ec;
    // A fifo or a device would block or never end.
    if (path.empty() || !fs::is_regular_file(path, ec)) return result;
    const uintmax_t size = fs::file_size(path, ec);
    if (!ec && size > limit) {
        result.tooBig = true;
        result.size = size;
        return result;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) return result;
    std::string content;
    char buffer[65536];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        content.append(buffer, static_cast<size_t>(in.gcount()));
        if (content.size() > limit) {  // it grew while being read
            result.tooBig = true;
            result.size = content.size();
            return result;
        }
    }
    if (in.bad()) return result;
    result.content = std::move(content);
    return result;
}

std::optional<std::string> readWholeFile(const std::string& path) {
    return readSourceFile(path).content;
}

std::string tooBigText(const std::string& path, uintmax_t size, uintmax_t limit) {
    return path + " is too big: " + std::to_string(size) + " bytes (at most " + std::to_string(limit) + ")";
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
