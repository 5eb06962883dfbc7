// Flash images laid out byte by byte for tests: configuration block, initial RAM, object entries, directory
// entries, terminator and file data, as the builder writes them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/byte_order.h"
#include "common/image_layout.h"
#include "common/name_hash.h"

namespace brindlecor::testing {

class ImageFixture {
  public:
    struct Entry {
        uint32_t hash;
        uint16_t address;
        uint8_t size;
        uint8_t flags;
        std::string data;  // file bytes; empty for an object
    };

    ImageFixture() : ram_(image::kRamImageSize, 0) {}

    // Initial value of RAM bytes 0x000-0x2FF.
    ImageFixture& ram(uint16_t address, std::string_view bytes) {
        for (size_t i = 0; i < bytes.size(); ++i) ram_.at(address + i) = static_cast<uint8_t>(bytes[i]);
        return *this;
    }
    // Literals keep their embedded zero bytes.
    template <size_t N>
    ImageFixture& ram(uint16_t address, const char (&bytes)[N]) {
        return ram(address, std::string_view(bytes, N - 1));
    }
    template <size_t N>
    ImageFixture& file(std::string_view path, uint8_t flags, const char (&bytes)[N]) {
        return file(path, flags, std::string_view(bytes, N - 1));
    }
    ImageFixture& object(std::string_view name, uint16_t address, uint8_t size, uint8_t flags) {
        objects_.push_back({static_cast<uint32_t>(calcHASH(name)), address, size, flags, {}});
        return *this;
    }
    ImageFixture& file(std::string_view path, uint8_t flags, std::string_view bytes) {
        files_.push_back({static_cast<uint32_t>(calcHASH(path)), 0, 0, flags, std::string(bytes)});
        return *this;
    }

    std::vector<uint8_t> bytes() const {
        std::vector<uint8_t> out(image::kFirstEntryAddress - image::kImageBase, image::kErased);
        std::fill_n(out.begin(), image::kDeviceNameSize, ' ');
        std::copy(ram_.begin(), ram_.end(), out.begin() + (image::kRamImageAddress - image::kImageBase));
        auto entry = [&](uint32_t hash, uint16_t address, uint8_t size, uint8_t flags) {
            uint8_t e[image::kEntrySize];
            writeLe32(e + image::kEntryHashOffset, hash);
            writeLe16(e + image::kEntryAddressOffset, address);
            e[image::kEntrySizeOffset] = size;
            e[image::kEntryFlagsOffset] = flags;
            out.insert(out.end(), e, e + image::kEntrySize);
        };
        for (const Entry& o : objects_) entry(o.hash, o.address, o.size, o.flags);
        uint32_t at = image::kFirstEntryAddress + image::kEntrySize * (objects_.size() + files_.size() + 1);
        for (const Entry& f : files_) {
            entry(f.hash, static_cast<uint16_t>(at), 0, f.flags);
            at += static_cast<uint32_t>(f.data.size());
        }
        entry(0xFFFFFFFF, static_cast<uint16_t>(at), 0xFF, image::kTerminatorFlags);
        for (const Entry& f : files_) out.insert(out.end(), f.data.begin(), f.data.end());
        return out;
    }

    std::string text() const {
        const auto b = bytes();
        return std::string(b.begin(), b.end());
    }

  private:
    std::vector<uint8_t> ram_;
    std::vector<Entry> objects_;
    std::vector<Entry> files_;
};

}  // namespace brindlecor::testing
