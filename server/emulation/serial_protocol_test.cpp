#include "server/emulation/serial_protocol.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "server/emulation/serial_settings.h"

namespace brindlecor::server {
namespace {

using Bytes = std::vector<uint8_t>;
using Pokes = std::vector<std::pair<uint16_t, uint8_t>>;

struct CountingEffects : DeviceEffects {
    std::string serialBytes;
    int datagrams = 0;
    void serialOutput(uint8_t byte) override { serialBytes.push_back(static_cast<char>(byte)); }
    void sendOutgoingDatagram() override { ++datagrams; }
};

struct Host {
    Device device;
    CountingEffects effects;
    SerialProtocol protocol{device};
    bool timerStarted = false;
    std::optional<int> speed;

    Host() { device.setEffects(&effects); }
    void send(const Bytes& bytes) {
        for (uint8_t b : bytes) {
            const SerialActions a = protocol.receive(b);
            timerStarted |= a.startReplyTimer;
            if (a.newLineSpeed) speed = a.newLineSpeed;
        }
    }
};

std::string chars(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

TEST(SerialProtocol, EveryCommand) {
    struct Case {
        const char* name;
        Pokes before;
        uint8_t statusBefore;
        Bytes bytes;
        Pokes after;  // RAM that must hold these values afterwards
        Bytes reply;
        uint8_t statusAfter;
    } cases[] = {
        // clang-format off
        {"write 8-bit address", {{0x13, 0x55}}, 0, {0x82, 0x10, 1, 2, 3},
         {{0x10, 1}, {0x11, 2}, {0x12, 3}, {0x13, 0x55}}, {}, 0},
        {"write 8-bit address past 0xFF", {}, 0, {0x81, 0xFF, 7, 8}, {{0xFF, 7}, {0x100, 8}}, {}, 0},
        {"write 16-bit address, one byte", {}, 0, {0x90, 0x34, 0x12, 0x77}, {{0x1234, 0x77}, {0x1235, 0}}, {}, 0},
        {"write 16-bit address, largest command", {{0x110, 0xEE}}, 0,
         {0x9F, 0x00, 0x01, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16},
         {{0x100, 1}, {0x107, 8}, {0x10F, 16}, {0x110, 0xEE}}, {}, 0},
        {"write 16-bit address wraps at the top of RAM", {}, 0, {0x91, 0xFF, 0xFF, 1, 2},
         {{0xFFFF, 1}, {0x0000, 2}}, {}, 0},
        {"write to the serial output register is stored only", {}, 0, {0x90, 0x19, 0xFF, 0x41},
         {{0xFF19, 0x41}}, {}, 0},
        {"write to the datagram register is stored only", {}, 0, {0x90, 0x1E, 0xFF, 0x01}, {{0xFF1E, 1}}, {}, 0},
        {"write that changes a byte leaves the change flag clear", {{0x20, 9}}, 0, {0x80, 0x20, 10},
         {{0x20, 10}}, {}, 0},
        {"write bit sets it through the RAM write", {}, 0, {0xA0, 10, 0x01}, {{0x2E1, 0x04}}, {}, 0x80},
        {"write bit takes bit 0 of the value", {{0x2E1, 0x0C}}, 0, {0xA5, 10, 0x02}, {{0x2E1, 0x08}}, {}, 0x80},
        {"write bit without change leaves the flag", {{0x2E1, 0x04}}, 0, {0xA0, 10, 0xFF}, {{0x2E1, 0x04}}, {}, 0},
        {"toggle bit ignores byte 2", {{0x2FF, 0x81}}, 0, {0xB0, 255, 0x00}, {{0x2FF, 0x01}}, {}, 0x80},
        {"toggle bit 0", {}, 0, {0xB3, 0, 0xAA}, {{0x2E0, 0x01}}, {}, 0x80},
        {"read 8-bit address", {{0x10, 0xAA}, {0x11, 0xBB}, {0x12, 0xCC}}, 0, {0xC1, 0x10}, {}, {0xAA, 0xBB}, 0},
        {"read 8-bit address past 0xFF", {{0xFF, 1}, {0x100, 2}}, 0, {0xC1, 0xFF}, {}, {1, 2}, 0},
        {"read 16-bit address", {{0x1234, 5}, {0x1236, 7}}, 0, {0xD2, 0x34, 0x12}, {}, {5, 0, 7}, 0},
        {"read 16-bit address wraps at the top of RAM", {{0xFFFF, 0xF1}, {0x0000, 0xF2}}, 0,
         {0xD1, 0xFF, 0xFF}, {}, {0xF1, 0xF2}, 0},
        {"read 16 bytes", {{0x200, 0x11}, {0x20F, 0x22}, {0x210, 0x33}}, 0, {0xDF, 0x00, 0x02}, {},
         {0x11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x22}, 0},
        {"read bit set", {{0x2E1, 0x04}}, 0, {0xE0, 10}, {}, {0x01}, 0},
        {"read bit clear", {{0x2E1, 0xFB}}, 0, {0xE7, 10}, {}, {0x00}, 0},
        {"status ORs and clears RAM[0x2FF]", {{0x2FF, 0x05}}, 0x80, {0x10}, {{0x2FF, 0}}, {0x85}, 0},
        {"status count nibble is not used", {}, 0, {0x1F}, {}, {0x00}, 0},
        {"ignored command bytes keep the receiver in step", {{0x10, 0x42}}, 0,
         {0x00, 0x2F, 0x40, 0x61, 0x7E, 0xF0, 0xFF, 0xC0, 0x10}, {}, {0x42}, 0},
        // clang-format on
    };
    for (const auto& c : cases) {
        Host host;
        for (auto [address, value] : c.before) host.device.ram[address] = value;
        host.device.status = c.statusBefore;
        host.send(c.bytes);
        for (auto [address, value] : c.after)
            EXPECT_EQ(host.device.ram[address], value) << c.name << " at " << std::hex << address;
        EXPECT_EQ(host.protocol.pendingReply(), chars(c.reply)) << c.name;
        EXPECT_EQ(host.timerStarted, !c.reply.empty()) << c.name;
        EXPECT_EQ(host.device.status, c.statusAfter) << c.name;
        EXPECT_FALSE(host.protocol.collecting()) << c.name;
        EXPECT_EQ(host.effects.serialBytes, "") << c.name;
        EXPECT_EQ(host.effects.datagrams, 0) << c.name;
        EXPECT_FALSE(host.speed) << c.name;
    }
}

TEST(SerialProtocol, IncompleteCommandWaitsForItsBytes) {
    Host host;
    host.send({0x82, 0x10, 1, 2});
    EXPECT_TRUE(host.protocol.collecting());
    EXPECT_EQ(host.device.ram[0x10], 0);
    // A byte that looks like a command is still data while the command is incomplete.
    host.send({0x10});
    EXPECT_FALSE(host.protocol.collecting());
    EXPECT_EQ(host.device.ram[0x10], 1);
    EXPECT_EQ(host.device.ram[0x12], 0x10);
    EXPECT_EQ(host.protocol.pendingReply(), "");
}

TEST(SerialProtocol, ReplyIsTakenOnceAndANewReadReplacesAnUnsentOne) {
    Host host;
    host.device.ram[0x10] = 'a';
    host.device.ram[0x11] = 'b';
    host.send({0xC0, 0x10});
    host.send({0xC1, 0x10});
    EXPECT_EQ(host.protocol.takeReply(), "ab");
    EXPECT_EQ(host.protocol.takeReply(), "");
    // Writes and bit commands leave a pending reply alone.
    host.send({0xE0, 0x00, 0x80, 0x10, 'z', 0xA0, 0x00, 0x01});
    EXPECT_EQ(host.protocol.takeReply(), std::string(1, '\0'));
}

TEST(SerialProtocol, StatusReportsAChangeOnce) {
    Host host;
    host.device.ramWrite(0x40, 0);  // same value: no change
    host.send({0x10});
    EXPECT_EQ(host.protocol.takeReply(), std::string(1, '\0'));
    host.device.ramWrite(0x40, 30);  // as a form or page would
    host.send({0x10});
    EXPECT_EQ(host.protocol.takeReply(), "\x80");
    host.send({0x10});
    EXPECT_EQ(host.protocol.takeReply(), std::string(1, '\0'));
    // Clearing RAM[0x2FF] by the status read is no change in itself.
    host.device.ram[0x2FF] = 0x40;
    host.send({0x10, 0x10});
    EXPECT_EQ(host.protocol.takeReply(), std::string(1, '\0'));
}

TEST(SerialProtocol, DatagramCommandSendsTheOutgoingDatagram) {
    Host host;
    host.send({0x50, 0x5F});
    EXPECT_EQ(host.effects.datagrams, 2);
    EXPECT_FALSE(host.timerStarted);
}

TEST(SerialProtocol, LineSpeedFromReloadValue) {
    struct Case {
        uint16_t reload;
        int speed;
    } cases[] = {
        {0xFC30, 1281},     // 1280.74 rounds up
        {0x0000, 19},       // 19.07 rounds down
        {0xFFFF, 1250000},  // the smallest divisor
        {0xFFE0, 39062},    // 39062.5: the half goes to the even neighbour
        {0xFF38, 6250},
    };
    for (const auto& c : cases) EXPECT_EQ(lineSpeedFromReload(c.reload), c.speed) << std::hex << c.reload;
}

TEST(SerialProtocol, SpeedSnapsToAStandardRateOr9600) {
    struct Case {
        int speed;
        int rate;
    } cases[] = {
        {9700, 9600},   {6250, 9600},     {1281, 1200},   {1080, 1200},     {1079, 9600},   {1320, 1200},
        {1321, 9600},   {126720, 115200}, {126721, 9600}, {103680, 115200}, {99, 110},      {98, 9600},
        {121, 110},     {19, 9600},       {57600, 57600}, {38400, 38400},   {28800, 28800}, {19200, 19200},
        {14400, 14400}, {7200, 7200},     {4800, 4800},   {2400, 2400},     {600, 600},     {300, 300},
    };
    for (const auto& c : cases) EXPECT_EQ(snapLineSpeed(c.speed), c.rate) << c.speed;
}

TEST(SerialProtocol, SpeedCommandTakesTheCommandByteAsLowByte) {
    struct Case {
        Bytes bytes;
        int speed;
    } cases[] = {
        {{0x30, 0xFC, 0x00, 0x00, 0x00}, 1200},  // R = 0xFC30
        {{0x30, 0xFC, 0x12, 0x34, 0x56}, 1200},  // bytes 2-4 are not used
        {{0x38, 0xFF, 0x00, 0x00, 0x00}, 9600},  // 6250 fits no rate
        {{0x30, 0x00, 0x00, 0x00, 0x00}, 9600},  // 19
    };
    for (const auto& c : cases) {
        Host host;
        host.send(Bytes(c.bytes.begin(), c.bytes.end() - 1));
        EXPECT_FALSE(host.speed) << "before the fifth byte";
        host.send({c.bytes.back()});
        EXPECT_EQ(host.speed, c.speed);
        EXPECT_FALSE(host.protocol.collecting());
    }
}

TEST(SerialSettings, ParsesTheSettingsText) {
    std::string error;
    auto s = parseSerialSettings("9600,n,8,1", error);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->speed, 9600);
    EXPECT_EQ(s->parity, 'n');
    EXPECT_EQ(s->dataBits, 8);
    EXPECT_EQ(s->stopBits, 1);
    s = parseSerialSettings(" 1200 , E , 7 , 1.5 ", error);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->speed, 1200);
    EXPECT_EQ(s->parity, 'e');
    EXPECT_EQ(s->dataBits, 7);
    EXPECT_EQ(s->stopBits, 3);

    for (const char* bad :
         {"", "9600", "9600,n,8", "9600,n,8,1,0", "fast,n,8,1", "0,n,8,1", "-9600,n,8,1", "9600,x,8,1",
          "9600,no,8,1", "9600,n,9,1", "9600,n,4,1", "9600,n,8,3", "9600,n,8,"}) {
        error.clear();
        EXPECT_FALSE(parseSerialSettings(bad, error)) << bad;
        EXPECT_NE(error.find(std::string("\"") + bad + "\""), std::string::npos) << error;
    }
}

}  // namespace
}  // namespace brindlecor::server
