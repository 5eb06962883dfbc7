#include "common/image_reader.h"

#include <algorithm>
#include <cstdio>
#include <unordered_map>
#include <utility>

#include "common/byte_order.h"
#include "common/image_layout.h"

namespace brindlecor::image {

namespace {

constexpr uint32_t kAddressSpaceEnd = 0x10000;
constexpr uint32_t kUnusedAddress = kDeviceNameAddress + kConfigBlockSize;  // 0x40A9..0x41FF
constexpr uint8_t kObjectFlagsNeverSet = 0x50;
constexpr uint8_t kFileFlagsKnown = kFilePasswordRequired | kFileFormHandler | kFilePage;

std::string hex(uint32_t value, int digits = 4) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

bool allErased(const uint8_t* p, size_t n) {
    return std::all_of(p, p + n, [](uint8_t b) { return b == kErased; });
}

class Reader {
  public:
    explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {
        out_.length = bytes.size();
        end_ =
            kImageBase + static_cast<uint32_t>(std::min<size_t>(bytes.size(), kAddressSpaceEnd - kImageBase));
    }

    // Called once: the contents move out of the reader.
    ImageContents read() {
        if (bytes_.size() > kMaxImageLength)
            problem(kImageBase + kMaxImageLength, "the file is " + std::to_string(bytes_.size()) +
                                                      " bytes long; an image holds at most " +
                                                      std::to_string(kMaxImageLength));
        if (!configuration()) return std::move(out_);
        unusedArea();
        if (end_ < kFirstEntryAddress) {
            problem(end_, "the image ends at " + hex(end_) + ", before the object table at " +
                              hex(kFirstEntryAddress));
            return std::move(out_);
        }
        entries();
        if (out_.terminatorAt) fileData();
        return std::move(out_);
    }

  private:
    const uint8_t* at(uint32_t address) const { return bytes_.data() + (address - kImageBase); }
    bool holds(uint32_t address, size_t n) const { return address >= kImageBase && address + n <= end_; }
    void problem(uint32_t address, std::string text) { out_.problems.push_back({address, std::move(text)}); }

    bool configuration() {
        if (!holds(kImageBase, kConfigBlockSize)) {
            problem(end_, "the image ends inside the configuration block (" + hex(kImageBase) + "-" +
                              hex(kUnusedAddress - 1) + ")");
            return false;
        }
        Configuration& c = out_.configuration;
        std::string name(reinterpret_cast<const char*>(at(kDeviceNameAddress)), kDeviceNameSize);
        name.erase(name.find_last_not_of(' ') + 1);
        c.deviceName = name;
        c.downloadPasswordSet = !allErased(at(kDownloadPasswordAddress), kPasswordSize);
        c.sitePasswordSet = !allErased(at(kSitePasswordAddress), kPasswordSize);
        c.accessCredentialSet = !allErased(at(kAccessCredentialAddress), kCredentialSize);
        c.masterCredentialSet = !allErased(at(kMasterCredentialAddress), kCredentialSize);
        std::copy_n(at(kInitialIpAddress), 4, c.ip.begin());
        c.dhcp = *at(kDhcpAddress);
        c.postIrq = *at(kPostIrqAddress);
        c.serialHandshake = *at(kSerialHandshakeAddress);
        c.portInit = *at(kPortInitAddress);
        c.postIrqMask = *at(kPostIrqMaskAddress);
        const struct {
            uint32_t address;
            uint8_t value;
            const char* name;
        } switches[] = {{kDhcpAddress, c.dhcp, "DHCP"},
                        {kPostIrqAddress, c.postIrq, "post IRQ"},
                        {kSerialHandshakeAddress, c.serialHandshake, "serial handshake"}};
        for (const auto& s : switches) {
            if (s.value != kFlagOn && s.value != kFlagOff)
                problem(s.address, std::string("the ") + s.name + " byte is " + hex(s.value, 2) +
                                       ", neither 0xFF nor 0x00");
        }
        out_.hasConfiguration = true;
        return true;
    }

    void unusedArea() {
        const uint32_t last = std::min<uint32_t>(end_, kRamImageAddress);
        for (uint32_t a = kUnusedAddress; a < last; ++a) {
            if (*at(a) != kErased) {
                problem(a, "the unused bytes " + hex(kUnusedAddress) + "-" + hex(kRamImageAddress - 1) +
                               " are not all 0xFF");
                return;
            }
        }
    }

    void entries() {
        std::unordered_map<uint32_t, uint32_t> firstWithHash;
        for (uint32_t a = kFirstEntryAddress;; a += kEntrySize) {
            if (!holds(a, kEntrySize)) {
                problem(a,
                        "no directory terminator: the entries run past the end of the image at " + hex(end_));
                return;
            }
            const Entry e = readEntry(at(a));
            if (isTerminator(e)) {
                out_.terminatorAt = a;
                out_.endAddress = dataEndBefore(e);
                out_.dataStart = a + kEntrySize;
                if (e.hash != 0xFFFFFFFF || e.size != 0xFF)
                    problem(a, "the terminator is not FF FF FF FF, end address, FF FF");
                return;
            }
            const auto [first, added] = firstWithHash.try_emplace(e.hash, a);
            if (!added)
                problem(a, "the entry has the hash of the entry at " + hex(first->second) +
                               ", which a lookup finds first");
            if (isObjectEntry(e)) {
                if (!out_.files.empty()) problem(a, "an object entry follows the site directory");
                if (e.flags & kObjectFlagsNeverSet)
                    problem(a, "the object flags " + hex(e.flags, 2) + " have bits that are always 0");
                const uint8_t type = e.flags & kObjectTypeMask;
                if (type == 5 || type == 6)
                    problem(a, "the object type code " + std::to_string(type) + " is no type");
                out_.objects.push_back({a, e});
            } else {
                if (e.size != 0) problem(a, "byte 6 of the directory entry is " + hex(e.size, 2) + ", not 0");
                if (e.flags & ~kFileFlagsKnown)
                    problem(a, "the file flags " + hex(e.flags, 2) + " have bits that are always 0");
                out_.files.push_back({a, e, 0});
            }
        }
    }

    void fileData() {
        const uint32_t terminator = *out_.terminatorAt;
        if (out_.endAddress != end_)
            problem(terminator, "the terminator gives the end address " + hex(out_.endAddress) +
                                    ", but the image ends at " + hex(end_));
        uint32_t previous = out_.dataStart;
        for (size_t i = 0; i < out_.files.size(); ++i) {
            FileEntry& f = out_.files[i];
            const uint32_t address = f.entry.address;
            const uint32_t next =
                i + 1 < out_.files.size() ? out_.files[i + 1].entry.address : out_.endAddress;
            f.length = next > address ? next - address : 0;
            if (i == 0 && address != out_.dataStart) {
                problem(f.at, "the first file's data starts at " + hex(address) + ", not at " +
                                  hex(out_.dataStart) + " just after the terminator");
            } else if (address < previous) {
                problem(f.at, "the file's data address " + hex(address) +
                                  " lies before the data of the file before it");
            }
            if (address > end_ || address < out_.dataStart) {
                problem(f.at, "the file's data address " + hex(address) +
                                  " lies outside the file data area " + hex(out_.dataStart) + "-" +
                                  hex(end_));
            } else if (address + f.length > end_) {
                problem(f.at, "the file's data runs past the end of the image at " + hex(end_));
            }
            previous = std::max(previous, address);
        }
        if (out_.files.empty() && out_.dataStart != end_ && out_.endAddress == end_)
            problem(out_.dataStart, "bytes follow the terminator, but no file holds them");
    }

    std::span<const uint8_t> bytes_;
    uint32_t end_ = 0;  // device address just past the last byte of the file (at most 0x10000)
    ImageContents out_;
};

}  // namespace

const char* typeName(uint8_t typeCode) {
    switch (typeCode) {
        case kTypeBit:
            return "Bit";
        case kTypeByte:
            return "Byte";
        case kTypeInteger:
            return "Integer";
        case kTypeHex:
            return "Hex";
        case kTypeLong:
            return "Long";
        case kTypeString:
            return "String";
        default:
            return "";
    }
}

size_t ImageContents::fileDataSize() const {
    const size_t end = kImageBase + std::min<size_t>(length, kAddressSpaceEnd - kImageBase);
    return terminatorAt && dataStart <= end ? end - dataStart : 0;
}

long long ImageContents::bytesLeft() const {
    return static_cast<long long>(kMaxImageLength) - static_cast<long long>(length);
}

ImageContents readImage(std::span<const uint8_t> bytes) {
    return Reader(bytes).read();
}

std::span<const uint8_t> fileBytes(std::span<const uint8_t> image, const FileEntry& file) {
    const size_t offset = file.entry.address >= kImageBase ? file.entry.address - kImageBase : image.size();
    if (offset >= image.size()) return {};
    return image.subspan(offset, std::min<size_t>(file.length, image.size() - offset));
}

}  // namespace brindlecor::image
