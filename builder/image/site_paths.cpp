#include "builder/image/site_paths.h"

namespace brindlecor::builder {

std::string fileExtension(std::string_view name) {
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) return {};
    const std::string_view after = name.substr(dot + 1);
    if (after.find_first_of("/:\\") != std::string_view::npos) return {};
    return std::string(after);
}

std::string stripTrailingBackslash(std::string_view path) {
    if (!path.empty() && (path.back() == '/' || path.back() == '\\')) path.remove_suffix(1);
    return std::string(path);
}

std::string nextCharAfter(std::string_view text, int32_t position) {
    if (position < 0 || static_cast<size_t>(position) >= text.size()) return {};
    return std::string(1, text[static_cast<size_t>(position)]);
}

}  // namespace brindlecor::builder
