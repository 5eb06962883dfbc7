// The flash image format shared by the builder, the downloader and the device emulator: addresses, sizes,
// entry layout and flag bits. The image is the raw flash content from kImageBase upward, nothing more.
#pragma once

#include <cstddef>
#include <cstdint>

namespace brindlecor::image {

constexpr uint32_t kImageBase = 0x4000;
constexpr size_t kMaxImageLength = 49152;  // 0xC000: the image never passes 0xFFFF
constexpr size_t kFlashSize = 0x10000;
constexpr size_t kRamSize = 0x10000;
constexpr uint8_t kErased = 0xFF;

// Configuration block, 0x4000..0x40A8.
constexpr uint32_t kDeviceNameAddress = 0x4000;
constexpr size_t kDeviceNameSize = 64;
constexpr uint32_t kDownloadPasswordAddress = 0x4040;
constexpr uint32_t kSitePasswordAddress = 0x4050;
constexpr size_t kPasswordSize = 16;
constexpr uint32_t kInitialIpAddress = 0x4060;
constexpr uint32_t kDhcpAddress = 0x4064;
constexpr uint32_t kPostIrqAddress = 0x4065;  // inverted: 0x00 on, 0xFF off
constexpr uint32_t kSerialHandshakeAddress = 0x4066;
constexpr uint32_t kPortInitAddress = 0x4067;
constexpr uint32_t kAccessCredentialAddress = 0x4068;
constexpr uint32_t kMasterCredentialAddress = 0x4088;
constexpr size_t kCredentialSize = 32;
constexpr uint32_t kPostIrqMaskAddress = 0x40A8;
constexpr size_t kConfigBlockSize = 169;
constexpr uint8_t kFlagOn = 0xFF;
constexpr uint8_t kFlagOff = 0x00;

// Initial RAM image: RAM 0x000..0x2FF is stored at 0x4200..0x44FF.
constexpr uint32_t kRamImageAddress = 0x4200;
constexpr size_t kRamImageSize = 0x300;
constexpr uint32_t kBitAreaRam = 0x2E0;  // 256 bits in RAM 0x2E0..0x2FF
constexpr uint32_t kSpecialRegisterBase = 0xFF00;

// Object table, site directory and terminator: one run of 8-byte entries.
constexpr uint32_t kFirstEntryAddress = 0x4500;
constexpr size_t kEntrySize = 8;
constexpr size_t kEntryHashOffset = 0;
constexpr size_t kEntryAddressOffset = 4;
constexpr size_t kEntrySizeOffset = 6;
constexpr size_t kEntryFlagsOffset = 7;
constexpr uint8_t kTerminatorFlags = 0xFF;  // byte 7 of the terminator, never in another entry

// Object flags (byte 7 of an object entry).
constexpr uint8_t kObjectTypeMask = 0x07;
constexpr uint8_t kObjectSecure = 0x08;
constexpr uint8_t kObjectEntry = 0x20;
constexpr uint8_t kObjectOutputOnly = 0x80;

// File flags (byte 7 of a directory entry).
constexpr uint8_t kFilePasswordRequired = 0x08;
constexpr uint8_t kFileFormHandler = 0x10;  // "kvi"
constexpr uint8_t kFilePage = 0x40;

// Object type codes, in the object flags and the builder's records.
enum TypeCode : uint8_t {
    kTypeBit = 0,
    kTypeByte = 1,
    kTypeInteger = 2,
    kTypeHex = 3,
    kTypeLong = 4,
    kTypeString = 7,
};

}  // namespace brindlecor::image
