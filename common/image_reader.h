// Reading a flash image: its 8-byte entries as the device's lookup reads them, and the whole image decoded
// for inspection (configuration block, object table, site directory, file data), with every place where
// it is not as the builder writes images, so that a damaged or foreign file is told apart from an image.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/byte_order.h"
#include "common/image_layout.h"

namespace brindlecor::image {

// One 8-byte entry of the object table, the site directory or the terminator.
struct Entry {
    uint32_t hash = 0;  // the four stored bytes as a little-endian value
    uint16_t address = 0;
    uint8_t size = 0;
    uint8_t flags = 0;
};

// The entry whose first byte is at p (8 readable bytes).
inline Entry readEntry(const uint8_t* p) {
    return {readLe32(p + kEntryHashOffset), readLe16(p + kEntryAddressOffset), p[kEntrySizeOffset],
            p[kEntryFlagsOffset]};
}

inline bool isTerminator(const Entry& e) {
    return e.flags == kTerminatorFlags;
}
inline bool isObjectEntry(const Entry& e) {
    return !isTerminator(e) && (e.flags & kObjectEntry) != 0;
}

// Where the data of an entry ends that the entry `next` follows: next's address, except that a terminator's
// end address 0x0000 stands for 0x10000 (an image that fills the flash).
inline uint32_t dataEndBefore(const Entry& next) {
    return next.address == 0 && isTerminator(next) ? 0x10000u : next.address;
}

// The object type's name as the export shows it ("Byte", "String", ...); "" for the codes 5 and 6.
const char* typeName(uint8_t typeCode);

struct Configuration {
    std::string deviceName;  // the 64 stored characters, spaces at the end removed
    bool downloadPasswordSet = false;
    bool sitePasswordSet = false;
    bool accessCredentialSet = false;
    bool masterCredentialSet = false;
    std::array<uint8_t, 4> ip{};  // in dotted order
    uint8_t dhcp = 0;             // the stored bytes as they stand
    uint8_t postIrq = 0;          // inverted: 0x00 is on
    uint8_t serialHandshake = 0;
    uint8_t portInit = 0;
    uint8_t postIrqMask = 0;
};

struct ObjectEntry {
    uint32_t at = 0;  // device address of the entry
    Entry entry;
};

struct FileEntry {
    uint32_t at = 0;
    Entry entry;
    uint32_t length = 0;  // stored bytes, as a lookup counts them (0 when the next address is not above it)
};

struct Problem {
    uint32_t address = 0;  // device address where it was found
    std::string text;
};

struct ImageContents {
    size_t length = 0;  // of the file
    bool hasConfiguration = false;
    Configuration configuration;
    std::vector<ObjectEntry> objects;
    std::vector<FileEntry> files;
    std::optional<uint32_t> terminatorAt;  // none when the entries run past the end of the image
    uint32_t endAddress = 0;               // the terminator's, 0x0000 read as 0x10000
    uint32_t dataStart = 0;                // first byte after the terminator
    std::vector<Problem> problems;         // empty for an image as the builder writes them

    // Bytes of the file data area (from dataStart to the end of the image).
    size_t fileDataSize() const;
    // Room left below the 49,152 bytes an image may hold; negative when the file is longer.
    long long bytesLeft() const;
};

// Decodes the bytes of an image file. Every read is bounded by the file; nothing is assumed of its content.
ImageContents readImage(std::span<const uint8_t> bytes);

// The stored bytes of a file entry inside the image bytes (empty when they lie outside it).
std::span<const uint8_t> fileBytes(std::span<const uint8_t> image, const FileEntry& file);

}  // namespace brindlecor::image
