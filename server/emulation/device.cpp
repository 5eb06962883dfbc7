#include "server/emulation/device.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "common/image_layout.h"
#include "common/image_reader.h"

namespace brindlecor::server {

namespace img = brindlecor::image;

Device::Device() {
    flash.fill(img::kErased);
}

std::optional<std::string> Device::loadImage(std::span<const uint8_t> image) {
    if (image.size() > img::kMaxImageLength)
        return "Image is " + std::to_string(image.size()) + " bytes; at most " +
               std::to_string(img::kMaxImageLength) + " bytes fit the flash";
    std::fill(flash.begin() + img::kImageBase, flash.end(), img::kErased);
    std::copy(image.begin(), image.end(), flash.begin() + img::kImageBase);
    reset();
    return std::nullopt;
}

std::optional<std::vector<uint8_t>> Device::readImageFile(const std::string& path, std::string& error) {
    // A folder opens like a file and then reads as empty, which would pass for an empty image.
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        error = "Image file " + path + " is a folder";
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "Cannot open image file " + path;
        return std::nullopt;
    }
    std::vector<uint8_t> bytes;
    char buffer[4096];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        bytes.insert(bytes.end(), buffer, buffer + in.gcount());
        if (bytes.size() > img::kMaxImageLength) {
            error =
                "Image file " + path + " is larger than " + std::to_string(img::kMaxImageLength) + " bytes";
            return std::nullopt;
        }
    }
    if (in.bad()) {
        error = "Cannot read image file " + path;
        return std::nullopt;
    }
    return bytes;
}

void Device::reset() {
    std::copy_n(flash.begin() + img::kRamImageAddress, img::kRamImageSize, ram.begin());
    deviceName.assign(reinterpret_cast<const char*>(&flash[img::kDeviceNameAddress]), img::kDeviceNameSize);
    std::copy_n(flash.begin() + img::kDownloadPasswordAddress, img::kPasswordSize, storedPassword.begin());
    effects_->resetSerialPort();
    for (uint16_t a = kResetRegistersFirst; a <= kResetRegistersFirst + 3; ++a) ram[a] = 0xFF;
}

std::optional<LookupRecord> Device::lookup(uint32_t hash) const {
    for (uint32_t at = img::kFirstEntryAddress; at + img::kEntrySize <= img::kFlashSize;
         at += img::kEntrySize) {
        const img::Entry entry = img::readEntry(&flash[at]);
        // The terminator (and erased flash) ends the search; it never answers a lookup itself.
        if (img::isTerminator(entry)) return std::nullopt;
        if (entry.hash != hash) continue;
        LookupRecord rec;
        rec.hash = hash;
        rec.address = entry.address;
        rec.size = entry.size;
        rec.flags = entry.flags;
        rec.entryAddress = static_cast<uint16_t>(at);
        const uint32_t next = at + img::kEntrySize;
        uint32_t end = rec.address;
        if (next + img::kEntrySize <= img::kFlashSize) end = img::dataEndBefore(img::readEntry(&flash[next]));
        rec.length = end > rec.address ? end - rec.address : 0;
        return rec;
    }
    return std::nullopt;
}

void Device::ramWrite(uint16_t address, uint8_t value) {
    if (address == kOutgoingDatagramRegister) {
        effects_->sendOutgoingDatagram();
    } else if (address == kSerialOutputRegister) {
        effects_->serialOutput(value);
    }
    if (ram[address] != value) {
        ram[address] = value;
        status |= kChangeFlag;
    }
}

int Device::bitRead(uint8_t bit) const {
    return (ram[img::kBitAreaRam + bit / 8] >> (bit % 8)) & 1;
}

void Device::bitWrite(uint8_t bit, int value) {
    const uint16_t at = static_cast<uint16_t>(img::kBitAreaRam + bit / 8);
    const uint8_t mask = static_cast<uint8_t>(1u << (bit % 8));
    ramWrite(at, static_cast<uint8_t>((value & 1) ? (ram[at] | mask) : (ram[at] & ~mask)));
}

void Device::bitToggle(uint8_t bit) {
    const uint16_t at = static_cast<uint16_t>(img::kBitAreaRam + bit / 8);
    ramWrite(at, static_cast<uint8_t>(ram[at] ^ (1u << (bit % 8))));
}

void Device::countdownTick() {
    if (ram[kCountdownRegister] != 0) --ram[kCountdownRegister];
}

}  // namespace brindlecor::server
