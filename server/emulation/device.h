// The emulated device: 64 KiB flash holding the image from 0x4000, 64 KiB RAM with the special registers at
// 0xFF00-0xFFFF, the state a reset derives from flash, the lookup over the one hash space of the image, and
// the RAM write operation through which pages, forms and bit commands change RAM.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace brindlecor::server {

// Special registers with an effect.
constexpr uint16_t kSerialOutputRegister = 0xFF19;
constexpr uint16_t kOutgoingDatagramRegister = 0xFF1E;
constexpr uint16_t kCountdownRegister = 0xFF1F;
constexpr uint16_t kResetRegistersFirst = 0xFFE6;  // 0xFFE6..0xFFE9 become 0xFF at every reset
constexpr uint8_t kChangeFlag = 0x80;              // bit 7 of the status byte

// What RAM writes and resets do outside the memory; the runtime fills these in.
class DeviceEffects {
public:
    virtual ~DeviceEffects() = default;
    // A RAM write to 0xFF19: the byte goes out on the serial port.
    virtual void serialOutput(uint8_t /*byte*/) {}
    // A RAM write to 0xFF1E: send the datagram that RAM 0x2D6-0x2DF describes.
    virtual void sendOutgoingDatagram() {}
    // Reset step 3: close the serial port and reopen the one the settings name, at "9600,n,8,1".
    virtual void resetSerialPort() {}
};

// One entry of the table as a lookup finds it.
struct LookupRecord {
    uint32_t hash = 0;
    uint16_t address = 0;
    uint8_t size = 0;
    uint8_t flags = 0;
    uint32_t length = 0;       // the next entry's address minus this one's (0 when that is not above it)
    uint16_t entryAddress = 0;  // flash address of the entry itself
};

class Device {
public:
    Device();

    std::array<uint8_t, 0x10000> flash{};
    std::array<uint8_t, 0x10000> ram{};
    uint8_t status = 0;
    std::string deviceName;                  // flash 0x4000-0x403F at the last reset
    std::array<uint8_t, 16> storedPassword{};  // flash 0x4040-0x404F at the last reset
    // Page-code registers; they keep their values across references and requests.
    int32_t accumulator = 0;
    int32_t operandRegister = 0;

    void setEffects(DeviceEffects* effects) { effects_ = effects ? effects : &noEffects_; }
    DeviceEffects& effects() { return *effects_; }

    // Stores the image at 0x4000 and erases the rest of flash, then resets. An image longer than 49,152
    // bytes is refused: the text says why and nothing changes.
    std::optional<std::string> loadImage(std::span<const uint8_t> image);

    // Reads an image file whole; nullopt with a message when it cannot be read or is too long.
    static std::optional<std::vector<uint8_t>> readImageFile(const std::string& path, std::string& error);

    // Initial RAM values, device name and download password from flash; serial port; 0xFFE6-0xFFE9.
    void reset();

    // Finds the entry with this hash among the object and directory entries from 0x4500.
    std::optional<LookupRecord> lookup(uint32_t hash) const;

    // The one RAM write path: special register effects first, then the byte is stored and the change flag
    // set when it differs.
    void ramWrite(uint16_t address, uint8_t value);

    int bitRead(uint8_t bit) const;
    void bitWrite(uint8_t bit, int value);
    void bitToggle(uint8_t bit);

    // The 500 ms tick: the countdown register goes down by one unless it is 0 (stored directly).
    void countdownTick();

private:
    DeviceEffects noEffects_;
    DeviceEffects* effects_ = &noEffects_;
};

}  // namespace brindlecor::server
