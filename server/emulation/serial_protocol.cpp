#include "server/emulation/serial_protocol.h"

#include "common/byte_order.h"

namespace brindlecor::server {

namespace {

constexpr uint32_t kSpeedClock = 1250000;
constexpr uint32_t kReloadSpan = 0x10000;
constexpr int kStandardRates[] = {115200, 57600, 38400, 28800, 19200, 14400, 9600,
                                  7200,   4800,  2400,  1200,  600,   300,   110};

// Bytes a command takes in all, its first byte included.
int commandLength(uint8_t command) {
    const int n = command & kSerialCountMask;
    switch (command & kSerialCommandMask) {
        case kSerialSetSpeed:
            return 5;
        case kSerialWrite8:
            return n + 3;
        case kSerialWrite16:
            return n + 4;
        case kSerialWriteBit:
        case kSerialToggleBit:
        case kSerialRead16:
            return 3;
        case kSerialRead8:
        case kSerialReadBit:
            return 2;
        default:
            return 1;
    }
}

}  // namespace

int lineSpeedFromReload(uint16_t reload) {
    const uint32_t divisor = kReloadSpan - reload;
    uint32_t speed = kSpeedClock / divisor;
    const uint32_t twice = 2 * (kSpeedClock % divisor);
    if (twice > divisor || (twice == divisor && (speed & 1))) ++speed;
    return static_cast<int>(speed);
}

int snapLineSpeed(int speed) {
    for (int rate : kStandardRates)
        if (rate - rate / 10 <= speed && speed <= rate + rate / 10) return rate;
    return kSerialDefaultSpeed;
}

SerialActions SerialProtocol::receive(uint8_t byte) {
    if (collecting_) {
        buffer_[received_] = byte;
        if (received_ == expected_) {
            collecting_ = false;
            return act();
        }
        ++received_;
        return {};
    }
    buffer_[0] = byte;
    received_ = 1;
    const int length = commandLength(byte);
    if (length == 1) return act();
    expected_ = static_cast<uint16_t>(length - 1);
    collecting_ = true;
    return {};
}

std::string SerialProtocol::takeReply() {
    std::string reply;
    reply.swap(reply_);
    return reply;
}

// A reply of RAM bytes; the address runs on in 16 bits, so a read at the top of RAM wraps to 0x0000
// instead of leaving it.
void SerialProtocol::replyFromRam(uint16_t address, int count) {
    reply_.clear();
    for (int k = 0; k < count; ++k)
        reply_.push_back(static_cast<char>(device_.ram[static_cast<uint16_t>(address + k)]));
}

SerialActions SerialProtocol::act() {
    const uint8_t command = buffer_[0];
    const int n = command & kSerialCountMask;
    SerialActions actions;
    switch (command & kSerialCommandMask) {
        case kSerialReadStatus:
            // Read-and-clear: the host sees each change once. RAM[0x2FF] is cleared directly, so the clearing
            // itself does not count as a change.
            reply_.assign(1, static_cast<char>(device_.status | device_.ram[kSerialStatusRam]));
            device_.status = 0;
            device_.ram[kSerialStatusRam] = 0;
            actions.startReplyTimer = true;
            break;
        case kSerialSetSpeed: {
            // The command byte itself is the low byte of the reload value; bytes 2-4 are not used.
            const uint16_t reload = readLe16(&buffer_[0]);
            actions.newLineSpeed = snapLineSpeed(lineSpeedFromReload(reload));
            break;
        }
        case kSerialSendDatagram:
            device_.effects().sendOutgoingDatagram();
            break;
        case kSerialWrite8:
            // Host writes are stored as they stand: no change flag, no special-register effect.
            for (int k = 0; k <= n; ++k) device_.ram[static_cast<uint16_t>(buffer_[1] + k)] = buffer_[2 + k];
            break;
        case kSerialWrite16: {
            const uint16_t address = readLe16(&buffer_[1]);
            for (int k = 0; k <= n; ++k) device_.ram[static_cast<uint16_t>(address + k)] = buffer_[3 + k];
            break;
        }
        case kSerialWriteBit:
            device_.bitWrite(buffer_[1], buffer_[2]);
            break;
        case kSerialToggleBit:
            device_.bitToggle(buffer_[1]);
            break;
        case kSerialRead8:
            replyFromRam(buffer_[1], n + 1);
            actions.startReplyTimer = true;
            break;
        case kSerialRead16:
            replyFromRam(readLe16(&buffer_[1]), n + 1);
            actions.startReplyTimer = true;
            break;
        case kSerialReadBit:
            reply_.assign(1, static_cast<char>(device_.bitRead(buffer_[1])));
            actions.startReplyTimer = true;
            break;
        default:
            break;
    }
    return actions;
}

}  // namespace brindlecor::server
