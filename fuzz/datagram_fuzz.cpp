// Fuzz target: the input as a run of datagrams for the download receiver, the name query and the RAM write
// service, and of serial bytes, all against one device that starts from a small image.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/download_protocol.h"
#include "common/image_layout.h"
#include "fuzz/fuzz_target.h"
#include "server/emulation/device.h"
#include "server/emulation/image_fixture.h"
#include "server/emulation/serial_protocol.h"
#include "server/emulation/udp_services.h"

namespace {

namespace dl = brindlecor::download;
namespace img = brindlecor::image;
namespace srv = brindlecor::server;

// Pieces of the input are split at this mark; the first byte of a piece picks where the rest goes.
constexpr std::string_view kSeparator = "~~~";
enum Channel : uint8_t { kDownload, kNameQuery, kRamWrite, kSerial };

// The effects a runtime would carry out, done here as far as they have bytes to show.
class Effects : public srv::DeviceEffects {
  public:
    explicit Effects(srv::Device& device) : device_(device) {}
    void serialOutput(uint8_t) override {}
    void sendOutgoingDatagram() override { srv::outgoingDatagram(device_); }

  private:
    srv::Device& device_;
};

void download(srv::Device& device, std::span<const uint8_t> datagram) {
    srv::DownloadStep step = srv::receiveDownload(device, datagram);
    // Every data byte waits at most once, so a datagram settles within its count of continuations.
    for (size_t waits = 0; step.kind == srv::DownloadStep::Kind::Wait; ++waits) {
        if (waits > dl::kMaxDataSize) __builtin_trap();
        step = srv::continueDownload(device, std::move(step.continuation));
    }
    if (step.kind == srv::DownloadStep::Kind::Reply) {
        const size_t count = datagram[dl::kCountOffset] == 0 ? dl::kMaxDataSize : datagram[dl::kCountOffset];
        if (step.reply.size() != dl::kHeaderSize + count) __builtin_trap();  // one reply byte per data byte
    }
}

}  // namespace

BRINDLECOR_FUZZ_TARGET(fuzzDatagram) {
    // Every input starts from the same loaded device; copying one is far cheaper than building one.
    static const auto loaded = [] {
        auto device = std::make_unique<srv::Device>();
        const auto image = brindlecor::testing::ImageFixture()
                               .ram(0x2D6, "\x7F\x00\x00\x01\x00\x10\x40\x00\x04\x00")
                               .object("temp", 0x40, 1, 0x21)
                               .file("index.htm", 0x40, "^\x83\x40\x00\x98")
                               .bytes();
        if (device->loadImage(image)) __builtin_trap();
        return device;
    }();
    static const auto device = std::make_unique<srv::Device>();
    *device = *loaded;
    Effects effects(*device);
    device->setEffects(&effects);
    srv::SerialProtocol serial(*device);

    const std::string_view input(reinterpret_cast<const char*>(data), size);
    for (size_t begin = 0; begin < input.size();) {
        size_t end = input.find(kSeparator, begin);
        if (end == std::string_view::npos) end = input.size();
        if (end == begin) {  // an empty piece goes nowhere
            begin = end + kSeparator.size();
            continue;
        }
        const auto channel = static_cast<Channel>(data[begin] % 4);
        const std::span<const uint8_t> payload(data + begin + 1, end - begin - 1);
        switch (channel) {
            case kDownload:
                download(*device, payload);
                break;
            case kNameQuery:
                if (srv::nameQueryReply(*device).size() != img::kDeviceNameSize) __builtin_trap();
                break;
            case kRamWrite:
                srv::applyRamWrites(*device, payload);
                srv::outgoingDatagram(*device);
                break;
            case kSerial:
                for (uint8_t byte : payload) {
                    if (serial.receive(byte).startReplyTimer) serial.takeReply();
                    device->countdownTick();
                }
                break;
        }
        begin = end + kSeparator.size();
    }
    device->setEffects(nullptr);  // the effects die with this call
    return 0;
}
