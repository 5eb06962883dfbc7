// Fuzz target: the input as an image file read by the inspector, and every file it finds written back as
// reference text, with and without names, as `tamarquill inspect` does.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "common/image_reader.h"
#include "common/page_listing.h"
#include "fuzz/fuzz_target.h"

BRINDLECOR_FUZZ_TARGET(fuzzImageInspect) {
    namespace img = brindlecor::image;
    const std::span<const uint8_t> bytes(data, size);
    const img::ImageContents contents = img::readImage(bytes);
    // An image with no problem has every file's data inside the file.
    const brindlecor::ObjectNamer namer = [](uint8_t, uint16_t address, uint8_t) {
        return address % 2 ? std::string("odd") : std::string();
    };
    // A table can hold thousands of entries over the same bytes: every one is checked, the first ones are
    // listed, and of each only the first bytes, where every code and every way to cut one off fits.
    constexpr size_t kListed = 16;
    constexpr size_t kListedBytes = 2048;
    size_t listed = 0;
    for (const img::FileEntry& file : contents.files) {
        const auto stored = img::fileBytes(bytes, file);
        if (contents.problems.empty() && stored.size() != file.length) __builtin_trap();
        if (listed++ >= kListed) continue;
        const auto shown = stored.first(std::min(stored.size(), kListedBytes));
        brindlecor::listPage(shown, nullptr);
        brindlecor::listPage(shown, namer);
    }
    return 0;
}
