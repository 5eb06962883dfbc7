// Fuzz target: the input as an image file read by the inspector, and every file it finds written back as
// reference text, with and without names, as `tamarquill inspect` does.
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
    for (const img::FileEntry& file : contents.files) {
        const auto stored = img::fileBytes(bytes, file);
        if (contents.problems.empty() && stored.size() != file.length) __builtin_trap();
        brindlecor::listPage(stored, nullptr);
        brindlecor::listPage(stored, namer);
    }
    return 0;
}
