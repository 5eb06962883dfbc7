#include "server/emulation/udp_services.h"

#include <algorithm>
#include <string_view>

#include "common/byte_order.h"
#include "common/download_protocol.h"
#include "common/image_layout.h"
#include "common/ip_text.h"

namespace brindlecor::server {

namespace dl = brindlecor::download;
namespace img = brindlecor::image;

namespace {

bool allBytes(std::span<const uint8_t> bytes, uint8_t value) {
    return std::all_of(bytes.begin(), bytes.end(), [value](uint8_t b) { return b == value; });
}

bool isRestart(uint8_t command) {
    return command == dl::CMD_RESTART || command == dl::CMD_FIRMWARE_RESTART;
}

bool passwordAccepted(const Device& device, std::span<const uint8_t> datagram) {
    const auto given = datagram.subspan(dl::kPasswordOffset, dl::kPasswordSize);
    const std::span<const uint8_t> stored(device.storedPassword);
    if (allBytes(stored, 0xFF) || allBytes(stored, ' ')) return true;
    if (std::equal(given.begin(), given.end(), stored.begin())) return true;
    // The restart comes with the password of the image just programmed; the device still holds the
    // previous one until that very restart, so the new one must open it too.
    const auto flashed = std::span<const uint8_t>(device.flash).subspan(img::kDownloadPasswordAddress, 16);
    return isRestart(datagram[dl::kCommandOffset]) && std::equal(given.begin(), given.end(), flashed.begin());
}

DownloadStep run(Device& device, DownloadContinuation c) {
    DownloadStep step;
    const uint8_t command = c.datagram[dl::kCommandOffset];
    const size_t count = c.datagram[dl::kCountOffset] == 0 ? dl::kMaxDataSize : c.datagram[dl::kCountOffset];
    while (c.next < count) {
        const uint8_t data = c.datagram[dl::kHeaderSize + c.next++];
        switch (command) {
            case dl::CMD_ERASE: {
                const size_t first = static_cast<size_t>(c.datagram[dl::kAddressHighOffset]) * 256;
                const size_t end = std::min(first + dl::kEraseBlockSize, img::kFlashSize);
                std::fill(device.flash.begin() + first, device.flash.begin() + end, img::kErased);
                c.reply.push_back(0x00);
                step.kind = DownloadStep::Kind::Wait;
                step.waitMs = kEraseWaitMs;
                step.continuation = std::move(c);
                return step;
            }
            case dl::CMD_PROGRAM:
                device.flash[c.address++] = data;
                c.reply.push_back(data);
                break;
            case dl::CMD_READ:
                c.reply.push_back(device.flash[c.address++]);
                break;
            case dl::CMD_RESTART:
            case dl::CMD_FIRMWARE_RESTART:
                device.reset();
                step.restarted = true;
                c.reply.push_back(0x00);
                break;
            default:
                c.reply.push_back(0x00);
                break;
        }
    }
    step.kind = DownloadStep::Kind::Reply;
    step.reply = std::move(c.reply);
    return step;
}

}  // namespace

DownloadStep receiveDownload(Device& device, std::span<const uint8_t> datagram) {
    constexpr std::string_view startup = dl::kStartupAnnouncement;
    if (datagram.size() < dl::kHeaderSize) return {};  // covers the empty datagram
    if (datagram.size() == startup.size() && std::equal(startup.begin(), startup.end(), datagram.begin()))
        return {};
    const size_t count = datagram[dl::kCountOffset] == 0 ? dl::kMaxDataSize : datagram[dl::kCountOffset];
    if (datagram.size() < dl::kHeaderSize + count) return {};
    if (!passwordAccepted(device, datagram)) return {};
    const uint32_t address = datagram[dl::kAddressLowOffset] + 256u * datagram[dl::kAddressHighOffset];
    const uint8_t command = datagram[dl::kCommandOffset];
    if ((command == dl::CMD_PROGRAM || command == dl::CMD_READ) && address + count > img::kFlashSize)
        return {};

    DownloadContinuation c;
    c.datagram.assign(datagram.begin(), datagram.begin() + dl::kHeaderSize + count);
    c.address = address;
    c.reply.assign(datagram.begin(), datagram.begin() + dl::kHeaderSize);
    return run(device, std::move(c));
}

DownloadStep continueDownload(Device& device, DownloadContinuation continuation) {
    return run(device, std::move(continuation));
}

std::vector<uint8_t> nameQueryReply(const Device& device) {
    return std::vector<uint8_t>(device.deviceName.begin(), device.deviceName.end());
}

size_t applyRamWrites(Device& device, std::span<const uint8_t> datagram) {
    size_t records = 0;
    size_t at = 0;
    while (datagram.size() > 0 && at < datagram.size() - 1) {
        const uint8_t countByte = datagram[at];
        if (datagram[at + 1] != static_cast<uint8_t>(countByte ^ 0xFF)) break;
        const size_t count = countByte == 0 ? 256 : countByte;
        if (at + 4 + count > datagram.size()) break;
        const uint32_t address = readLe16(&datagram[at + 2]);
        if (address + count > img::kRamSize) break;
        std::copy_n(datagram.begin() + at + 4, count, device.ram.begin() + address);
        at += 4 + count;
        ++records;
    }
    return records;
}

std::optional<OutgoingDatagram> outgoingDatagram(const Device& device) {
    const uint32_t count = readLe16(&device.ram[dl::kOutgoingCountRam]);
    const uint32_t data = readLe16(&device.ram[dl::kOutgoingDataRam]);
    if (count == 0 || data + count > img::kRamSize) return std::nullopt;
    OutgoingDatagram out;
    out.address = Long_to_IP(readLe32(&device.ram[dl::kOutgoingAddressRam]));
    out.port = readLe16(&device.ram[dl::kOutgoingPortRam]);
    out.bytes.assign(device.ram.begin() + data, device.ram.begin() + data + count);
    return out;
}

}  // namespace brindlecor::server
