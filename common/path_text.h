// Display forms of paths and the most-recent-first lists that both programs keep in their settings.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace brindlecor {

// ".." followed by the path from its second-to-last separator ("/" or "\") on; "" with fewer than two.
std::string pathDisplayName(std::string_view path);

// The folder part of a path: the text before the last separator; up to and including a ":" met first;
// the folder of the running executable when the path has neither.
std::string pathDirectory(std::string_view path);

// The folder of the running executable.
std::string executableFolder();

// Puts path at the head of a most-recent-first list of fixed length: nothing happens when it is already
// entry 1; otherwise the entries above its old place (all of them, dropping the last, when it was not
// listed) move one place down. Returns true when the list changed.
bool addRecentEntry(std::vector<std::string>& list, const std::string& path);

}  // namespace brindlecor
