// Replacing a file as a whole: the bytes go to a temporary file in the same folder, which is then renamed
// over the old one, so an interrupted or failed write never leaves half a file or loses the old one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace brindlecor::builder {

// True when path now holds exactly bytes.
bool replaceFileContents(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace brindlecor::builder
