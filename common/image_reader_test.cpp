#include "common/image_reader.h"

#include <gtest/gtest.h>

#include <functional>

#include "common/byte_order.h"
#include "common/image_layout.h"
#include "common/name_hash.h"

namespace brindlecor::image {
namespace {

using Bytes = std::vector<uint8_t>;

void putEntry(Bytes& b, uint32_t address, uint32_t hash, uint16_t value, uint8_t size, uint8_t flags) {
    uint8_t* p = &b.at(address - kImageBase);
    writeLe32(p, hash);
    writeLe16(p + 4, value);
    p[6] = size;
    p[7] = flags;
}

// The image the builder writes for a Byte object temp at 0x40, a page index.htm and a plain logo.gif, with a
// download password and the access credential set.
Bytes sampleImage() {
    const std::string page = "T ^\x83\x40";
    Bytes b(0x4520 - kImageBase, kErased);
    std::fill_n(b.begin(), kDeviceNameSize, ' ');
    std::copy_n("Kitchen", 7, b.begin());
    std::fill_n(b.begin() + (kDownloadPasswordAddress - kImageBase), kPasswordSize, 0x41);
    const uint8_t ip[] = {192, 168, 0, 200};
    std::copy_n(ip, 4, b.begin() + (kInitialIpAddress - kImageBase));
    b[kPostIrqAddress - kImageBase] = kFlagOff;
    b[kPortInitAddress - kImageBase] = 0x12;
    std::fill_n(b.begin() + (kAccessCredentialAddress - kImageBase), kCredentialSize, 'Y');
    b[kPostIrqMaskAddress - kImageBase] = 0x03;
    std::fill_n(b.begin() + (kRamImageAddress - kImageBase), kRamImageSize, 0);
    putEntry(b, 0x4500, static_cast<uint32_t>(calcHASH("temp")), 0x40, 1, 0x21);
    putEntry(b, 0x4508, static_cast<uint32_t>(calcHASH("index.htm")), 0x4520, 0, 0x48);
    putEntry(b, 0x4510, static_cast<uint32_t>(calcHASH("logo.gif")), 0x4527, 0, 0x00);
    putEntry(b, 0x4518, 0xFFFFFFFF, 0x452A, 0xFF, 0xFF);
    b.insert(b.end(), page.begin(), page.end());
    b.push_back(0);
    b.push_back(0x98);
    b.insert(b.end(), {'G', 'I', 'F'});
    return b;
}

TEST(ImageReader, DecodesEveryPartOfAnImage) {
    const Bytes image = sampleImage();
    const ImageContents c = readImage(image);
    EXPECT_TRUE(c.problems.empty()) << c.problems.front().text;
    EXPECT_EQ(c.length, 0x52Au);
    EXPECT_EQ(c.bytesLeft(), 49152 - 0x52A);
    EXPECT_EQ(c.configuration.deviceName, "Kitchen");
    EXPECT_TRUE(c.configuration.downloadPasswordSet);
    EXPECT_FALSE(c.configuration.sitePasswordSet);
    EXPECT_TRUE(c.configuration.accessCredentialSet);
    EXPECT_FALSE(c.configuration.masterCredentialSet);
    EXPECT_EQ(c.configuration.ip, (std::array<uint8_t, 4>{192, 168, 0, 200}));
    EXPECT_EQ(c.configuration.postIrq, 0x00);
    EXPECT_EQ(c.configuration.portInit, 0x12);
    EXPECT_EQ(c.configuration.postIrqMask, 0x03);
    ASSERT_EQ(c.objects.size(), 1u);
    EXPECT_EQ(c.objects[0].entry.address, 0x40);
    EXPECT_EQ(c.objects[0].entry.flags, 0x21);
    ASSERT_EQ(c.files.size(), 2u);
    EXPECT_EQ(c.files[0].length, 7u);
    EXPECT_EQ(c.files[1].length, 3u);
    EXPECT_EQ(c.files[1].at, 0x4510u);
    EXPECT_EQ(c.terminatorAt, std::optional<uint32_t>(0x4518));
    EXPECT_EQ(c.dataStart, 0x4520u);
    EXPECT_EQ(c.fileDataSize(), 10u);
    const auto logo = fileBytes(image, c.files[1]);
    EXPECT_EQ(std::string(logo.begin(), logo.end()), "GIF");
}

// A damaged or foreign file: each fault is found and placed, and nothing is read outside the file.
TEST(ImageReader, DamageIsReportedWithItsPlace) {
    const struct {
        const char* what;
        std::function<void(Bytes&)> damage;
        uint32_t address;
        std::string problem;  // the start of the first problem's text
    } cases[] = {
        {"empty", [](Bytes& b) { b.clear(); }, 0x4000, "the image ends inside the configuration block"},
        {"cut in the configuration", [](Bytes& b) { b.resize(100); }, 0x4064,
         "the image ends inside the configuration"},
        {"cut before the table", [](Bytes& b) { b.resize(0x300); }, 0x4300,
         "the image ends at 0x4300, before the object table"},
        {"cut in the entries", [](Bytes& b) { b.resize(0x50C); }, 0x4508, "no directory terminator"},
        {"cut in the file data", [](Bytes& b) { b.pop_back(); }, 0x4518,
         "the terminator gives the end address 0x452A, but the image ends at 0x4529"},
        // The file before it then reaches up to that address too.
        {"file address past the end", [](Bytes& b) { putEntry(b, 0x4510, 1, 0x9000, 0, 0); }, 0x4508,
         "the file's data runs past the end of the image at 0x452A"},
        {"file address before the data", [](Bytes& b) { putEntry(b, 0x4510, 1, 0x4400, 0, 0); }, 0x4510,
         "the file's data address 0x4400 lies before the data of the file before it"},
        {"first file elsewhere", [](Bytes& b) { putEntry(b, 0x4508, 2, 0x4521, 0, 0x40); }, 0x4508,
         "the first file's data starts at 0x4521, not at 0x4520"},
        {"object after a file", [](Bytes& b) { putEntry(b, 0x4510, 3, 0x41, 1, 0x21); }, 0x4510,
         "an object entry follows the site directory"},
        {"two equal hashes", [](Bytes& b) { writeLe32(&b[0x510], static_cast<uint32_t>(calcHASH("temp"))); },
         0x4510, "the entry has the hash of the entry at 0x4500"},
        {"unused bytes written", [](Bytes& b) { b[0x150] = 0; }, 0x4150, "the unused bytes 0x40A9-0x41FF"},
        {"DHCP neither on nor off", [](Bytes& b) { b[0x64] = 0x12; }, 0x4064, "the DHCP byte is 0x12"},
        {"unknown file flag", [](Bytes& b) { b[0x517] = 0x01; }, 0x4510, "the file flags 0x01"},
        {"object type 5", [](Bytes& b) { b[0x507] = 0x25; }, 0x4500, "the object type code 5"},
        {"longer than the flash", [](Bytes& b) { b.resize(49153, 0xFF); }, 0x10000,
         "the file is 49153 bytes long"},
        {"no terminator in erased flash", [](Bytes& b) { b.resize(0x518); }, 0x4518,
         "no directory terminator"},
    };
    for (const auto& c : cases) {
        Bytes image = sampleImage();
        c.damage(image);
        const ImageContents contents = readImage(image);
        ASSERT_FALSE(contents.problems.empty()) << c.what;
        EXPECT_EQ(contents.problems[0].address, c.address) << c.what << ": " << contents.problems[0].text;
        EXPECT_EQ(contents.problems[0].text.substr(0, c.problem.size()), c.problem) << c.what;
    }
}

TEST(ImageReader, AnImageThatFillsTheFlashEndsAt0x10000) {
    Bytes image = sampleImage();
    image.resize(kMaxImageLength, 'x');
    writeLe16(&image[0x51C], 0x0000);
    const ImageContents c = readImage(image);
    EXPECT_TRUE(c.problems.empty()) << c.problems.front().text;
    EXPECT_EQ(c.endAddress, 0x10000u);
    EXPECT_EQ(c.files[1].length, 0x10000u - 0x4527);
    EXPECT_EQ(c.bytesLeft(), 0);
}

}  // namespace
}  // namespace brindlecor::image
