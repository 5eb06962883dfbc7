#include "server/emulation/udp_services.h"

#include <gtest/gtest.h>

#include <string>

namespace brindlecor::server {
namespace {

using Bytes = std::vector<uint8_t>;
using Kind = DownloadStep::Kind;

Bytes password(const std::string& text) {
    return Bytes(text.begin(), text.end());
}
const Bytes kNone(16, 0xFF);

Bytes request(uint8_t cmd, uint8_t low, uint8_t high, uint8_t count, const Bytes& pw, const Bytes& data) {
    Bytes d{cmd, low, high, count};
    d.insert(d.end(), pw.begin(), pw.end());
    d.insert(d.end(), data.begin(), data.end());
    return d;
}

// A device holding an image whose stored download password is `pw` (16 bytes).
Device deviceWithPassword(const Bytes& pw) {
    Device device;
    Bytes image(0x600, 0x11);
    std::copy(pw.begin(), pw.end(), image.begin() + 0x40);
    device.loadImage(image);
    return device;
}

TEST(DownloadReceiver, EraseClearsItsBlockAndRepliesAfterTheWait) {
    Device device = deviceWithPassword(kNone);
    device.flash[0xBFFF] = 0x22;
    device.flash[0xC000] = 0x33;
    device.flash[0xFFFF] = 0x44;
    const Bytes erase = request(0x01, 0x00, 0xC0, 1, kNone, {0x00});
    DownloadStep step = receiveDownload(device, erase);
    ASSERT_EQ(step.kind, Kind::Wait);
    EXPECT_EQ(step.waitMs, 1000);
    EXPECT_EQ(device.flash[0xC000], 0xFF);
    EXPECT_EQ(device.flash[0xFFFF], 0xFF);
    EXPECT_EQ(device.flash[0xBFFF], 0x22);
    step = continueDownload(device, std::move(step.continuation));
    ASSERT_EQ(step.kind, Kind::Reply);
    Bytes expected(erase.begin(), erase.begin() + 20);
    expected.push_back(0x00);
    EXPECT_EQ(step.reply, expected);

    // A block that would run past 0xFFFF stops at the top of flash; two data bytes wait twice.
    step = receiveDownload(device, request(0x01, 0x00, 0xF0, 2, kNone, {0x00, 0x00}));
    ASSERT_EQ(step.kind, Kind::Wait);
    step = continueDownload(device, std::move(step.continuation));
    ASSERT_EQ(step.kind, Kind::Wait);
    step = continueDownload(device, std::move(step.continuation));
    ASSERT_EQ(step.kind, Kind::Reply);
    EXPECT_EQ(step.reply.size(), 22u);
}

TEST(DownloadReceiver, ProgramEchoesReadAnswersAndRestartResets) {
    Device device = deviceWithPassword(kNone);
    Bytes page(256);
    for (int i = 0; i < 256; ++i) page[i] = static_cast<uint8_t>(255 - i);
    const Bytes program = request(0x02, 0x00, 0x42, 0, kNone, page);
    DownloadStep step = receiveDownload(device, program);
    ASSERT_EQ(step.kind, Kind::Reply);
    EXPECT_EQ(step.reply, program);  // 276 bytes: the header and the bytes written
    EXPECT_TRUE(std::equal(page.begin(), page.end(), device.flash.begin() + 0x4200));

    // Read 3 bytes from 0x42FE: the reply carries what flash holds, not the placeholders.
    step = receiveDownload(device, request(0x03, 0xFE, 0x42, 3, kNone, {9, 9, 9}));
    ASSERT_EQ(step.kind, Kind::Reply);
    EXPECT_EQ(Bytes(step.reply.begin() + 20, step.reply.end()), (Bytes{page[254], page[255], 0x11}));

    // The restart takes the new initial RAM (flash 0x4200 holds RAM 0x000) and name into effect.
    device.ram[0] = 0x00;
    step = receiveDownload(device, request(0x86, 0x68, 0x00, 1, kNone, {0x11}));
    ASSERT_EQ(step.kind, Kind::Reply);
    EXPECT_TRUE(step.restarted);
    EXPECT_EQ(step.reply.size(), 21u);
    EXPECT_EQ(step.reply.back(), 0x00);
    EXPECT_EQ(device.ram[0], 255);
    EXPECT_EQ(device.deviceName, std::string(64, '\x11'));
}

TEST(DownloadReceiver, PasswordRule) {
    const Bytes abc = password("abcdefghijklmnop");
    const Bytes other = password("zzzzzzzzzzzzzzzz");
    struct Case {
        Bytes stored;
        uint8_t command;
        Bytes sent;
        Bytes flashed;  // download password of the image now in flash; empty: as stored
        bool answered;
    } cases[] = {
        {kNone, 0x02, other, {}, true},
        {Bytes(16, ' '), 0x02, other, {}, true},
        {abc, 0x02, abc, {}, true},
        {abc, 0x02, other, {}, false},
        {abc, 0x02, kNone, {}, false},
        // A new image with another password was just programmed: its restart is answered, nothing else.
        {abc, 0x86, other, other, true},
        {abc, 0x47, other, other, true},
        {abc, 0x02, other, other, false},
        {abc, 0x86, other, {}, false},
    };
    for (const auto& c : cases) {
        Device device = deviceWithPassword(c.stored);
        if (!c.flashed.empty()) std::copy(c.flashed.begin(), c.flashed.end(), device.flash.begin() + 0x4040);
        const Bytes d = request(c.command, 0x00, 0x45, 1, c.sent, {0x77});
        const DownloadStep step = receiveDownload(device, d);
        EXPECT_EQ(step.kind == Kind::Reply, c.answered) << int(c.command) << " case " << (&c - cases);
        EXPECT_EQ(device.flash[0x4500], c.answered && c.command == 0x02 ? 0x77 : 0x11);
    }
}

TEST(DownloadReceiver, BadDatagramsChangeNothing) {
    const std::string startup = "<<brindlecor startup>>";
    Bytes shortProgram = request(0x02, 0x00, 0x50, 0, kNone, Bytes(255, 0x77));  // one data byte short
    struct Case {
        const char* name;
        Bytes datagram;
    } cases[] = {
        {"empty", {}},
        {"startup text", Bytes(startup.begin(), startup.end())},
        {"header only partly", Bytes(19, 0x02)},
        {"data shorter than count", shortProgram},
        {"program past 0xFFFF", request(0x02, 0x01, 0xFF, 0, kNone, Bytes(256, 0x77))},
        {"read past 0xFFFF", request(0x03, 0xFE, 0xFF, 3, kNone, Bytes(3, 0x77))},
        {"erase without its data byte", request(0x01, 0x00, 0x40, 1, kNone, {})},
    };
    for (const auto& c : cases) {
        Device device = deviceWithPassword(kNone);
        const auto flash = device.flash;
        EXPECT_EQ(receiveDownload(device, c.datagram).kind, Kind::Drop) << c.name;
        EXPECT_TRUE(device.flash == flash) << c.name;
    }
    // The last page of flash is still writable.
    Device device = deviceWithPassword(kNone);
    EXPECT_EQ(receiveDownload(device, request(0x02, 0x00, 0xFF, 0, kNone, Bytes(256, 0x77))).kind,
              Kind::Reply);
    EXPECT_EQ(device.flash[0xFFFF], 0x77);
}

TEST(RamWriteService, RecordsAreCheckedBeforeTheyAreStored) {
    struct Case {
        Bytes datagram;
        size_t records;
        std::vector<std::pair<uint16_t, uint8_t>> ram;  // expected values; everything else stays 0
    } cases[] = {
        {{0x02, 0xFD, 0x10, 0x00, 0xAA, 0xBB}, 1, {{0x10, 0xAA}, {0x11, 0xBB}}},
        {{0x02, 0xFC, 0x10, 0x00, 0xAA, 0xBB}, 0, {}},
        {{0x01, 0xFE, 0x10, 0x00, 0xAA, 0x01, 0xFE, 0x20, 0x00, 0xBB}, 2, {{0x10, 0xAA}, {0x20, 0xBB}}},
        // Second record runs past the datagram: the first stays, nothing of the second is written.
        {{0x01, 0xFE, 0x10, 0x00, 0xAA, 0x02, 0xFD, 0x20, 0x00, 0xBB}, 1, {{0x10, 0xAA}}},
        {{0x02, 0xFD, 0xFF, 0xFF, 0xAA, 0xBB}, 0, {}},  // past 0xFFFF
        {{0x02, 0xFD, 0x1E, 0xFF, 0xAA, 0xBB}, 1, {{0xFF1E, 0xAA}, {0xFF1F, 0xBB}}},
        {{0x01, 0xFE, 0x10}, 0, {}},  // header cut short
        {{}, 0, {}},
    };
    struct Watch : DeviceEffects {
        int datagrams = 0;
        void sendOutgoingDatagram() override { ++datagrams; }
    };
    for (const auto& c : cases) {
        Device device;
        Watch watch;
        device.setEffects(&watch);
        EXPECT_EQ(applyRamWrites(device, c.datagram), c.records) << (&c - cases);
        std::array<uint8_t, 0x10000> expected{};
        for (auto [a, v] : c.ram) expected[a] = v;
        EXPECT_TRUE(device.ram == expected) << (&c - cases);
        EXPECT_EQ(device.status, 0) << "no change flag";
        EXPECT_EQ(watch.datagrams, 0) << "no register effects";
    }
    // Count byte 0 stands for 256 data bytes.
    Device device;
    Bytes big{0x00, 0xFF, 0x00, 0x01};
    big.resize(4 + 256, 0x5A);
    EXPECT_EQ(applyRamWrites(device, big), 1u);
    EXPECT_EQ(device.ram[0x1FF], 0x5A);
    EXPECT_EQ(device.ram[0x200], 0x00);
}

TEST(OutgoingDatagram, DescribedByRamRegisters) {
    Device device;
    const uint8_t regs[] = {192, 168, 0, 5, 0x39, 0x30, 0x00, 0x01, 0x04, 0x00};
    std::copy(std::begin(regs), std::end(regs), device.ram.begin() + 0x2D6);
    for (int i = 0; i < 5; ++i) device.ram[0x100 + i] = static_cast<uint8_t>(i + 1);
    auto out = outgoingDatagram(device);
    ASSERT_TRUE(out);
    EXPECT_EQ(out->address, "192.168.0.5");
    EXPECT_EQ(out->port, 12345);
    EXPECT_EQ(out->bytes, (Bytes{1, 2, 3, 4}));

    device.ram[0x2DE] = 0;
    EXPECT_FALSE(outgoingDatagram(device)) << "count 0 sends nothing";
    device.ram[0x2DE] = 0x02;
    device.ram[0x2DC] = 0xFF;
    device.ram[0x2DD] = 0xFF;
    EXPECT_FALSE(outgoingDatagram(device)) << "data past 0xFFFF";
}

TEST(NameQuery, RepliesWithTheDeviceName) {
    Device device;
    Bytes image(0x100, ' ');
    const std::string name = "Boiler";
    std::copy(name.begin(), name.end(), image.begin());
    device.loadImage(image);
    const Bytes reply = nameQueryReply(device);
    EXPECT_EQ(std::string(reply.begin(), reply.end()), name + std::string(58, ' '));
}

}  // namespace
}  // namespace brindlecor::server
