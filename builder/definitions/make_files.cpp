#include "builder/definitions/make_files.h"

#include <algorithm>

namespace brindlecor::builder {

size_t MakeFiles::record(const std::string& path, Kind kind, bool found) {
    const auto [it, added] = index_.try_emplace(path, reads_.size());
    if (added) {
        reads_.push_back({path, kind, found});
    } else if (found) {
        reads_[it->second].found = true;
    }
    return it->second;
}

void MakeFiles::wroteFile(const std::string& path) {
    if (std::find(writes_.begin(), writes_.end(), path) == writes_.end()) writes_.push_back(path);
}

void MakeFiles::clear() {
    reads_.clear();
    index_.clear();
    writes_.clear();
}

}  // namespace brindlecor::builder
