#include "server/emulation/device.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/name_hash.h"
#include "server/emulation/image_fixture.h"

namespace brindlecor::server {
namespace {

using brindlecor::testing::ImageFixture;

struct RecordingEffects : DeviceEffects {
    explicit RecordingEffects(Device& d) : device(d) {}
    void serialOutput(uint8_t byte) override {
        events.push_back("serial " + std::to_string(byte) + " old " + std::to_string(device.ram[0xFF19]));
    }
    void sendOutgoingDatagram() override {
        events.push_back("datagram old " + std::to_string(device.ram[0xFF1E]));
    }
    void resetSerialPort() override { events.push_back("reset serial"); }
    Device& device;
    std::vector<std::string> events;
};

uint32_t hashOf(std::string_view name) {
    return static_cast<uint32_t>(calcHASH(name));
}

TEST(DeviceLookup, SearchesObjectsAndFilesAsOneListAndMeasuresLengths) {
    Device d;
    const auto image = ImageFixture()
                           .object("temp", 0x40, 1, 0x21)
                           .file("index.htm", 0x40, "Temp")
                           .file("logo.gif", 0x00, "GIF89a")
                           .bytes();
    ASSERT_FALSE(d.loadImage(image));
    const uint32_t firstFile = 0x4500 + 8 * 4;

    const auto object = d.lookup(hashOf("temp"));
    ASSERT_TRUE(object);
    EXPECT_EQ(object->address, 0x40);
    EXPECT_EQ(object->size, 1);
    EXPECT_EQ(object->flags, 0x21);
    EXPECT_EQ(object->entryAddress, 0x4500);

    const auto page = d.lookup(hashOf("index.htm"));
    ASSERT_TRUE(page);
    EXPECT_EQ(page->address, firstFile);
    EXPECT_EQ(page->length, 4u);  // up to the next file
    const auto last = d.lookup(hashOf("logo.gif"));
    ASSERT_TRUE(last);
    EXPECT_EQ(last->length, 6u);  // up to the terminator's end address
    EXPECT_EQ(last->address + last->length, 0x4000 + image.size());

    EXPECT_FALSE(d.lookup(hashOf("missing.htm")));
    EXPECT_FALSE(d.lookup(0xFFFFFFFF)) << "the terminator ends the search and is never found itself";
}

TEST(DeviceLookup, EmptyImageFindsNothingAndFullImageEndsAt0x10000) {
    Device empty;
    ASSERT_FALSE(empty.loadImage({}));
    EXPECT_FALSE(empty.lookup(hashOf("index.htm")));
    EXPECT_EQ(empty.flash[0x4500], 0xFF);

    // A file that fills the flash to the top: the terminator's end address wraps to 0x0000.
    auto image = ImageFixture().file("big.bin", 0x00, "").bytes();
    const size_t fileStart = image.size();
    image.resize(49152, 0x5A);
    image[0x4508 + 4 - 0x4000] = 0x00;
    image[0x4508 + 5 - 0x4000] = 0x00;
    Device full;
    ASSERT_FALSE(full.loadImage(image));
    const auto big = full.lookup(hashOf("big.bin"));
    ASSERT_TRUE(big);
    EXPECT_EQ(big->address, 0x4000 + fileStart);
    EXPECT_EQ(big->address + big->length, 0x10000u);
}

TEST(DeviceLoad, RefusesAnImageOverTheFlashAndKeepsTheOldOne) {
    Device d;
    ASSERT_FALSE(d.loadImage(ImageFixture().object("a", 1, 1, 0x21).bytes()));
    const auto before = d.flash;
    const std::vector<uint8_t> tooBig(49153, 0);
    const auto refused = d.loadImage(tooBig);
    ASSERT_TRUE(refused);
    EXPECT_NE(refused->find("49152"), std::string::npos);
    EXPECT_EQ(d.flash, before);

    const auto dir = std::filesystem::temp_directory_path() / ("device-test-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string big = (dir / "big.kvb").string();
    std::ofstream(big, std::ios::binary) << std::string(49153, 'x');
    const std::string exact = (dir / "exact.kvb").string();
    std::ofstream(exact, std::ios::binary) << std::string(49152, 'x');
    std::string error;
    EXPECT_FALSE(Device::readImageFile(big, error));
    EXPECT_NE(error.find("larger than 49152"), std::string::npos) << error;
    EXPECT_FALSE(Device::readImageFile((dir / "none.kvb").string(), error));
    EXPECT_FALSE(Device::readImageFile(dir.string(), error)) << "a folder is no empty image";
    const auto ok = Device::readImageFile(exact, error);
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->size(), 49152u);
    std::filesystem::remove_all(dir);
}

TEST(DeviceRam, WritesSetTheChangeFlagOnlyOnChangeAndTriggerRegistersFirst) {
    Device d;
    RecordingEffects fx(d);
    d.setEffects(&fx);
    d.ram[0x10] = 5;
    d.ramWrite(0x10, 5);
    EXPECT_EQ(d.status & kChangeFlag, 0) << "same value: no change";
    d.ramWrite(0x10, 6);
    EXPECT_EQ(d.ram[0x10], 6);
    EXPECT_EQ(d.status & kChangeFlag, kChangeFlag);

    d.ram[0xFF19] = 'A';
    d.ramWrite(0xFF19, 'A');  // goes out even when the register already holds it
    d.ramWrite(0xFF19, 'B');
    d.ramWrite(0xFF1E, 7);
    d.ramWrite(0xFF1D, 7);
    EXPECT_EQ(fx.events,
              (std::vector<std::string>{"serial 65 old 65", "serial 66 old 65", "datagram old 0"}));
    EXPECT_EQ(d.ram[0xFF19], 'B');
    EXPECT_EQ(d.ram[0xFF1E], 7);
}

TEST(DeviceRam, BitsLiveInTheBitAreaAndGoThroughRamWrite) {
    Device d;
    d.bitWrite(10, 1);  // bit 2 of 0x2E1
    EXPECT_EQ(d.ram[0x2E1], 0x04);
    EXPECT_EQ(d.bitRead(10), 1);
    EXPECT_EQ(d.bitRead(11), 0);
    EXPECT_EQ(d.status & kChangeFlag, kChangeFlag);
    d.status = 0;
    d.bitWrite(10, 3);  // only bit 0 of the value counts
    EXPECT_EQ(d.status, 0);
    d.bitWrite(10, 2);
    EXPECT_EQ(d.ram[0x2E1], 0x00);
    d.bitToggle(255);
    EXPECT_EQ(d.ram[0x2FF], 0x80);
    d.bitToggle(255);
    EXPECT_EQ(d.ram[0x2FF], 0x00);
    EXPECT_EQ(d.status & kChangeFlag, kChangeFlag);
}

TEST(DeviceRam, CountdownStopsAtZeroWithoutChangeFlag) {
    Device d;
    d.ram[kCountdownRegister] = 2;
    for (int expected : {1, 0, 0}) {
        d.countdownTick();
        EXPECT_EQ(d.ram[kCountdownRegister], expected);
    }
    EXPECT_EQ(d.status, 0);
}

TEST(DeviceReset, TakesInitialRamAndIdentityAndKeepsRamAbove0x2FF) {
    Device d;
    RecordingEffects fx(d);
    d.setEffects(&fx);
    auto image = ImageFixture().ram(0x000, "\x01").ram(0x2FF, "\x02").bytes();
    std::copy_n("Demo", 4, image.begin());
    d.ram[0x000] = 9;
    d.ram[0x300] = 0x33;
    d.ram[0xFFE6] = 0;
    d.ram[0xFFEA] = 0x44;
    ASSERT_FALSE(d.loadImage(image));
    EXPECT_EQ(d.ram[0x000], 1);
    EXPECT_EQ(d.ram[0x2FF], 2);
    EXPECT_EQ(d.ram[0x300], 0x33);
    EXPECT_EQ(d.ram[0xFFEA], 0x44);
    for (int a = 0xFFE6; a <= 0xFFE9; ++a) EXPECT_EQ(d.ram[a], 0xFF) << a;
    EXPECT_EQ(d.deviceName, "Demo" + std::string(60, ' '));
    EXPECT_EQ(d.storedPassword[0], 0xFF);
    EXPECT_EQ(fx.events, std::vector<std::string>{"reset serial"});
}

}  // namespace
}  // namespace brindlecor::server
