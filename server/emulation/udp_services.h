// The device's UDP services as pure handlers over the emulated device: the download receiver, the name
// query, the RAM write service and the description of the outgoing datagram. The runtime owns the sockets
// and timers; these functions say what to send and when to come back.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "server/emulation/device.h"

namespace brindlecor::server {

// An erase holds its reply back this long while the device keeps serving other events.
constexpr int kEraseWaitMs = 1000;
// A download has one erase outstanding; more erase waits than this at once are a flood, and the erase
// requests beyond them are dropped unanswered before they touch flash.
constexpr size_t kMaxEraseWaits = 64;

// A download datagram part-way through its data bytes, waiting for an erase to settle.
struct DownloadContinuation {
    std::vector<uint8_t> datagram;
    size_t next = 0;       // index of the next data byte
    uint32_t address = 0;  // the next program or read address
    std::vector<uint8_t> reply;
};

struct DownloadStep {
    enum class Kind {
        Drop,   // no reply at all: not a request, a wrong password, or a request that cannot be served
        Reply,  // send `reply` to the sender
        Wait,   // call continueDownload with `continuation` after `waitMs`
    };
    Kind kind = Kind::Drop;
    std::vector<uint8_t> reply;
    int waitMs = 0;
    DownloadContinuation continuation;
    bool restarted = false;  // a restart command reset the device
};

// A datagram on the download port. Checked whole before it touches flash: shorter than its header and
// data, a program or read that would pass 0xFFFF, or a password that is not accepted, drop it unchanged.
DownloadStep receiveDownload(Device& device, std::span<const uint8_t> datagram);

// Goes on after an erase wait.
DownloadStep continueDownload(Device& device, DownloadContinuation continuation);

// The answer to any datagram on the name port: the 64 characters of the device name.
std::vector<uint8_t> nameQueryReply(const Device& device);

// Records of the RAM write service stored directly into RAM (no change flag, no register effects).
// Processing stops at the first record whose check byte is wrong or that runs past the datagram or past
// 0xFFFF; the records before it stay written. Returns the number of records written.
size_t applyRamWrites(Device& device, std::span<const uint8_t> datagram);

struct OutgoingDatagram {
    std::string address;  // dotted text
    uint16_t port = 0;
    std::vector<uint8_t> bytes;
};

// The datagram RAM 0x2D6-0x2DF describes; nullopt when its count is 0 or its data would run past 0xFFFF.
std::optional<OutgoingDatagram> outgoingDatagram(const Device& device);

}  // namespace brindlecor::server
