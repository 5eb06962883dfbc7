#include "builder/image/make_driver.h"

#include <algorithm>
#include <filesystem>
#include <type_traits>
#include <variant>

#include "builder/definitions/scanner.h"
#include "builder/image/image_file.h"
#include "common/image_layout.h"
#include "common/ip_text.h"
#include "common/password.h"
#include "common/text.h"

namespace brindlecor::builder {

namespace {

constexpr uint32_t kAddressSpaceEnd = 0x10000;
constexpr uint16_t kForbiddenLow = 0x300;
constexpr uint16_t kForbiddenHigh = 0xFEFF;

int32_t numericValue(const InitialValue& value) {
    return std::visit(
        [](const auto& v) -> int32_t {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::monostate>) {
                return 0;
            } else if constexpr (std::is_same_v<T, std::string>) {
                return cracknumber(v);
            } else {
                return static_cast<int32_t>(v);
            }
        },
        value);
}

std::string textValue(const InitialValue& value) {
    const auto* text = std::get_if<std::string>(&value);
    return text ? *text : std::string();
}

}  // namespace

Builder::Builder(BuildView& view, const WallClock& clock, DefinitionsStep compile)
    : log_(view), clock_(clock), compile_(std::move(compile)), ram_(image::kRamSize, 0) {
    objects_.reserve(kMaxObjects);  // a large table is then filled without moving its records around
}

void Builder::make(const std::string& definitionsPath) {
    definitionsPath_ = definitionsPath;
    log_.clearErrors();
    log_.clearLog();
    objects_.clear();
    directory_.clear();
    files_.clear();
    imageWritten_ = false;
    log_.logLine("Beginning Make at " + generalDate(clock_.now()));
    compile_(definitionsPath, settings_, objects_, log_, files_);
    imagePath_ = imageOverride_.empty() ? settings_.siteFile : imageOverride_;
    log_.clearLocation();
    if (log_.hasErrors()) {
        log_.append("Tamarquill Stopped Processing due to Errors\r\n");
        return;
    }
    emitter_.fillImage(image::kErased);
    emitter_.clearOverflow();
    log_.logLine("Making Object Table with " + decimal(static_cast<long long>(objects_.size())) + " entries");
    if (!layObjectTable()) return;
    std::copy_n(ram_.begin(), image::kRamImageSize, emitter_.image().begin() + image::kRamImageAddress);
    if (!walkSite()) return;
    layDirectory();
    const uint32_t end = emitter_.imagePosition();
    if (!layConfiguration()) return;

    const auto& image = emitter_.image();
    lastImage_.assign(image.begin() + image::kImageBase, image.begin() + end);
    lastImage_.insert(lastImage_.end(), emitter_.data().begin(),
                      emitter_.data().begin() + static_cast<std::ptrdiff_t>(emitter_.dataPosition()));
    if (!writeSiteFile()) return;
    const size_t length = lastImage_.size();
    log_.logLine("Total Flash Memory Used: " + decimal(static_cast<long long>(length)) + " bytes");
    log_.logLine("Done making " + imagePath_);
    if (length > image::kMaxImageLength) {
        log_.reportError("Flash Memory", "Data is too big for download > " +
                                             decimal(static_cast<long long>(image::kMaxImageLength)) +
                                             "\r\nCheck all files in " + settings_.siteRoot + " for size");
        std::error_code ec;
        if (imageWritten_) std::filesystem::remove(imagePath_, ec);
        imageWritten_ = false;
    }
}

bool Builder::layObjectTable() {
    // The directory terminator must fit behind the table as well.
    const size_t tableEnd = image::kFirstEntryAddress + image::kEntrySize * (objects_.size() + 1);
    if (tableEnd > kAddressSpaceEnd) {
        log_.reportError("Make Function",
                         "Too many objects: the object table would run past the end of "
                         "flash memory");
        return false;
    }
    emitter_.selectImage(image::kFirstEntryAddress);
    for (const ObjectRecord& object : objects_) {
        emitter_.emitLe32(static_cast<uint32_t>(object.hash));
        const auto address = static_cast<uint16_t>(object.address);
        if (address >= kForbiddenLow && address <= kForbiddenHigh) {
            locateObject(object);
            const Answer answer =
                log_.reportError("Object Address", object.name + "'s Location Exceeds Available Ram");
            log_.clearLocation();
            if (answer == Answer::Cancel) return false;
        }
        emitter_.emitLe16(address);
        if (object.size > 255) {
            locateObject(object);
            log_.reportError("Make Function", "Object larger than 255 bytes");
            log_.clearLocation();
            return false;
        }
        emitter_.emitByte(static_cast<uint8_t>(object.size));
        uint8_t flags =
            object.direction == 2 ? image::kObjectEntry | image::kObjectOutputOnly : image::kObjectEntry;
        if (object.secured) flags |= image::kObjectSecure;
        flags |= object.typeCode & image::kObjectTypeMask;
        emitter_.emitByte(flags);
        layInitialValue(object);
    }
    return true;
}

void Builder::layInitialValue(const ObjectRecord& object) {
    const auto address = static_cast<uint16_t>(object.address);
    if (object.size <= 0 || address >= image::kSpecialRegisterBase) return;
    auto put = [this](uint32_t at, uint8_t b) {
        if (at < ram_.size()) ram_[at] = b;
    };
    const int32_t v = numericValue(object.initial);
    switch (object.typeCode) {
        case image::kTypeBit: {
            const uint32_t at = image::kBitAreaRam + address / 8u;
            const auto mask = static_cast<uint8_t>(1u << (address % 8u));
            if (at < ram_.size()) ram_[at] = (v & 1) ? (ram_[at] | mask) : (ram_[at] & ~mask);
            break;
        }
        case image::kTypeByte:
        case image::kTypeHex:
            put(address, static_cast<uint8_t>(v));
            break;
        case image::kTypeInteger:
            for (uint32_t i = 0; i < 2; ++i) put(address + i, static_cast<uint8_t>(v >> (8 * i)));
            break;
        case image::kTypeLong:
            for (uint32_t i = 0; i < 4; ++i) put(address + i, static_cast<uint8_t>(v >> (8 * i)));
            break;
        case image::kTypeString: {
            const std::string text = textValue(object.initial);
            const auto size = static_cast<uint32_t>(object.size);
            for (uint32_t i = 0; i < size; ++i) put(address + i, i < text.size() ? text[i] : 0);
            break;
        }
        default:
            break;
    }
}

bool Builder::walkSite() {
    emitter_.resetData();
    emitter_.selectData();
    const size_t room = (kAddressSpaceEnd - image::kEntrySize - emitter_.imagePosition()) / image::kEntrySize;
    SiteWalker walker(settings_, objects_, emitter_, log_, directory_, std::min(room, size_t{10000}),
                      &files_);
    walker.processSiteDirectory(settings_.siteRoot);
    return !walker.overflowed();
}

bool Builder::layDirectory() {
    const uint32_t tableEnd = emitter_.imagePosition();
    const uint32_t dataStart = tableEnd + static_cast<uint32_t>(image::kEntrySize * (directory_.size() + 1));
    emitter_.selectImage(tableEnd);
    for (const DirectoryRecord& record : directory_) {
        emitter_.emitLe32(static_cast<uint32_t>(record.hash));
        emitter_.emitLe16(static_cast<uint16_t>(dataStart + record.offset));
        emitter_.emitByte(0x00);
        emitter_.emitByte(record.flags);
    }
    const uint32_t dataEnd =
        directory_.empty() ? dataStart : dataStart + directory_.back().offset + directory_.back().length;
    emitter_.emitLe32(0xFFFFFFFF);
    emitter_.emitLe16(static_cast<uint16_t>(dataEnd));
    emitter_.emitLe16(0xFFFF);
    return !emitter_.overflowed();
}

bool Builder::layConfiguration() {
    const std::optional<uint32_t> ip = IP_to_Long(settings_.initialIp);
    if (!ip) {
        log_.setLocation(definitionsPath_, 0);
        log_.reportError("$InitialIP", "Bad IP Address " + settings_.initialIp);
        log_.clearLocation();
        return false;
    }
    emitter_.selectImage(image::kDeviceNameAddress);
    for (char c : fixedField(settings_.deviceName, image::kDeviceNameSize)) emitter_.emitByte(c);
    for (uint8_t b : scramblePassword(settings_.downloadPassword)) emitter_.emitByte(b);
    for (uint8_t b : scramblePassword(settings_.sitePassword)) emitter_.emitByte(b);
    emitter_.emitLe32(*ip);
    emitter_.emitByte(settings_.dhcpOn ? image::kFlagOn : image::kFlagOff);
    emitter_.emitByte(settings_.postIrqOn ? image::kFlagOff : image::kFlagOn);
    emitter_.emitByte(settings_.serialHandshakeOn ? image::kFlagOn : image::kFlagOff);
    emitter_.emitByte(static_cast<uint8_t>(settings_.initializePort));
    for (char c : fixedField(settings_.accessPassword, image::kCredentialSize)) emitter_.emitByte(c);
    for (char c : fixedField(settings_.masterPassword, image::kCredentialSize)) emitter_.emitByte(c);
    emitter_.emitByte(static_cast<uint8_t>(settings_.postIrqMask));
    return true;
}

bool Builder::writeSiteFile() {
    if (imagePath_.empty() || !files_.writeOutputs) return true;
    files_.wroteFile(imagePath_);
    if (replaceFileContents(imagePath_, lastImage_)) {
        imageWritten_ = true;
        return true;
    }
    log_.reportError("$SiteFile", "File or Path " + imagePath_ + " not Found");
    return false;
}

// Messages about one object point at its declaration, or at the definitions file when that is not known.
void Builder::locateObject(const ObjectRecord& object) {
    const auto& reads = files_.reads();
    if (object.declaredIn >= 0 && static_cast<size_t>(object.declaredIn) < reads.size()) {
        log_.setLocation(reads[static_cast<size_t>(object.declaredIn)].path, object.declaredLine,
                         object.declaredColumn);
    } else {
        log_.setLocation(definitionsPath_, 0);
    }
}

}  // namespace brindlecor::builder
