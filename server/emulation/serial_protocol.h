// The serial command set a host controller uses to read and write device RAM, read the status byte and set
// the line speed. Bytes go in one at a time; what the port must do comes back as actions.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "server/emulation/device.h"

namespace brindlecor::server {

// Command bytes: the high nibble selects, the low nibble of some carries a count.
constexpr uint8_t kSerialCommandMask = 0xF0;
constexpr uint8_t kSerialCountMask = 0x0F;
constexpr uint8_t kSerialReadStatus = 0x10;
constexpr uint8_t kSerialSetSpeed = 0x30;
constexpr uint8_t kSerialSendDatagram = 0x50;
constexpr uint8_t kSerialWrite8 = 0x80;
constexpr uint8_t kSerialWrite16 = 0x90;
constexpr uint8_t kSerialWriteBit = 0xA0;
constexpr uint8_t kSerialToggleBit = 0xB0;
constexpr uint8_t kSerialRead8 = 0xC0;
constexpr uint8_t kSerialRead16 = 0xD0;
constexpr uint8_t kSerialReadBit = 0xE0;

// The last byte of the bit area (bits 248-255) doubles as status bits that the host reads and clears.
constexpr uint16_t kSerialStatusRam = 0x2FF;
constexpr size_t kSerialCommandBufferSize = 20;
constexpr int kSerialReplyDelayMs = 2;
constexpr int kSerialDefaultSpeed = 9600;
constexpr const char* kSerialDefaultSettings = "9600,n,8,1";
constexpr const char* kSerialSettingsSuffix = ",n,8,1";

// What the port has to do after one byte.
struct SerialActions {
    bool startReplyTimer = false;     // (re)start the one-shot reply timer; the reply waits in the protocol
    std::optional<int> newLineSpeed;  // close the port, set "<speed>,n,8,1" and reopen it
};

// Line speed from a timer reload value: 1,250,000 / (65536 - reload), halves rounded to even.
int lineSpeedFromReload(uint16_t reload);
// The first standard rate within a tenth of the speed (fastest tried first), else 9600.
int snapLineSpeed(int speed);

class SerialProtocol {
  public:
    explicit SerialProtocol(Device& device) : device_(device) {}

    // One received byte, in arrival order.
    SerialActions receive(uint8_t byte);

    // The reply timer fired: the pending reply, now handed over and emptied.
    std::string takeReply();
    const std::string& pendingReply() const { return reply_; }

    // True while a command is incomplete; it waits for its bytes without a time-out.
    bool collecting() const { return collecting_; }

  private:
    SerialActions act();
    void replyFromRam(uint16_t address, int count);

    Device& device_;
    std::array<uint8_t, kSerialCommandBufferSize> buffer_{};
    uint16_t received_ = 0;
    uint16_t expected_ = 0;
    bool collecting_ = false;
    std::string reply_;
};

}  // namespace brindlecor::server
