#include "builder/image/dependency_file.h"

#include <filesystem>

#include "builder/image/image_file.h"

namespace brindlecor::builder {

namespace fs = std::filesystem;

std::string absolutePath(std::string_view path) {
    std::error_code ec;
    fs::path p = fs::absolute(fs::path(path), ec);
    if (ec) p = fs::path(path);
    std::string text = p.lexically_normal().string();
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    return text;
}

std::optional<std::string> escapeRulePath(std::string_view path) {
    std::string out;
    size_t backslashes = 0;
    for (char c : path) {
        if (c == '\n' || c == '\r') return std::nullopt;
        if (c == ' ' || c == '\t') {
            out.append(backslashes + 1, '\\');
        } else if (c == '#') {
            out += '\\';
        } else if (c == '$') {
            out += '$';
        }
        backslashes = c == '\\' ? backslashes + 1 : 0;
        out += c;
    }
    return out;
}

DependencyText dependencyText(const std::string& target, const MakeFiles& files) {
    DependencyText result;
    const auto escapedTarget = escapeRulePath(absolutePath(target));
    if (!escapedTarget) {
        result.problem = "the image path holds a line break: " + target;
        return result;
    }
    std::string rules = *escapedTarget + ":";
    std::string emptyRules;
    for (const MakeFiles::Read& read : files.reads()) {
        if (!read.found) continue;  // a file that is not there can be no prerequisite of make
        const auto escaped = escapeRulePath(absolutePath(read.path));
        if (!escaped) {
            result.problem = "a path holds a line break: " + read.path;
            return result;
        }
        rules += " \\\n  " + *escaped;
        emptyRules += "\n" + *escaped + ":\n";
    }
    result.text = rules + "\n" + emptyRules;
    return result;
}

std::optional<std::string> writeDependencyFile(const std::string& path, const std::string& target,
                                               const MakeFiles& files) {
    const DependencyText rules = dependencyText(target, files);
    if (!rules.problem.empty()) return "cannot write the dependency file " + path + ": " + rules.problem;
    if (!replaceFileContents(path, std::vector<uint8_t>(rules.text.begin(), rules.text.end())))
        return "cannot write the dependency file " + path;
    return std::nullopt;
}

}  // namespace brindlecor::builder
