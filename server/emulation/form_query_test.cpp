#include "server/emulation/form_query.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/emulation/image_fixture.h"
#include "common/number_text.h"

namespace brindlecor::server {
namespace {

using brindlecor::testing::ImageFixture;

// Objects of every type; the RAM they use starts as 0xEE so that every written byte shows.
Device formDevice() {
    Device d;
    const auto image = ImageFixture()
                           .ram(0x10, std::string(0x40, '\xEE'))
                           .object("led", 3, 1, 0x20)       // bit 3
                           .object("speed", 0x10, 1, 0x21)  // byte
                           .object("count", 0x12, 2, 0x22)  // 16-bit
                           .object("code", 0x14, 1, 0x23)   // hex byte
                           .object("total", 0x18, 4, 0x24)  // 32-bit
                           .object("name", 0x20, 5, 0x27)   // string of 5
                           .object("shown", 0x30, 1, 0xA1)  // output only
                           .object("odd", 0x31, 1, 0x25)    // type 5 takes nothing
                           .object("tx", 0xFF19, 3, 0x27)   // the serial output register
                           .file("page.kvi", 0x10, "x")
                           .bytes();
    EXPECT_FALSE(d.loadImage(image));
    d.status = 0;
    return d;
}

std::string ramText(const Device& d, uint16_t at, size_t n) {
    return std::string(reinterpret_cast<const char*>(&d.ram[at]), n);
}

TEST(FormQuery, ConvertsByTypeWithLimits) {
    struct Case {
        const char* query;
        uint16_t at;
        std::string expected;
    } cases[] = {
        {"speed=300", 0x10, "\xFF"},
        {"speed=-3", 0x10, std::string(1, '\0')},
        {"speed=2.5", 0x10, "\x02"},
        {"speed=3.5", 0x10, "\x04"},
        {"speed=+7", 0x10, "\x07"},  // "+" is a space, and blanks are skipped
        {"speed=1e2x", 0x10, "\x64"},
        {"speed=%26h1f", 0x10, "\x1F"},
        {"speed=%26o17", 0x10, "\x0F"},
        {"speed=abc", 0x10, std::string(1, '\0')},
        {"speed=.5e1", 0x10, "\x05"},
        {"count=300", 0x12, "\x2C\x01"},
        {"count=-40000", 0x12, std::string("\x00\x80", 2)},
        {"count=-2.5", 0x12, "\xFE\xFF"},
        {"count=40000", 0x12, "\xFF\x7F"},
        {"code=1f", 0x14, "\x1F"},
        {"code=1ff", 0x14, "\xFF"},
        {"code=zz", 0x14, std::string(1, '\0')},
        {"total=-1", 0x18, "\xFF\xFF\xFF\xFF"},
        {"total=%26hffffffff", 0x18, "\xFF\xFF\xFF\xFF"},
        {"total=2147483647", 0x18, "\xFF\xFF\xFF\x7F"},
        {"total=3000000000", 0x18, "\xEE\xEE\xEE\xEE"},  // beyond 32 bits: skipped
        {"total=1e999", 0x18, "\xEE\xEE\xEE\xEE"},
        {"name=a+b%21", 0x20, std::string("a b!\0", 5)},
        {"name=toolongtext", 0x20, "toolo"},
        {"name=", 0x20, std::string(5, '\0')},
        {"shown=5", 0x30, "\xEE"},
        {"odd=5", 0x31, "\xEE"},
    };
    for (const auto& c : cases) {
        Device d = formDevice();
        applyQuery(d, std::string("get /page.kvi?") + c.query + " http/1.0\r\n");
        EXPECT_EQ(ramText(d, c.at, c.expected.size()), c.expected) << c.query;
    }
}

TEST(FormQuery, PairsNamesAndEndings) {
    struct Case {
        const char* request;
        std::string speedAndCount;  // RAM 0x10..0x13
    } cases[] = {
        {"get /page.kvi?led=1&speed=300&count=300 h", "\xFF\xEE\x2C\x01"},
        {"get /page.kvi?nosuch=1&speed=9 h", "\x09\xEE\xEE\xEE"},
        {"get /page.kvi?speed=9&count=5", "\x09\xEE\xEE\xEE"},  // the last value never ends
        {"get /page.kvi?speed", "\xEE\xEE\xEE\xEE"},
        {"get /page.kvi speed=9 h", "\xEE\xEE\xEE\xEE"},             // a space ends the path: no query
        {"get /page.kvi?speed=9 &count=5 h", "\x09\xEE\xEE\xEE"},    // a space ends the query
        {"get /page.kvi?page.kvi=9&speed=8 h", "\x08\xEE\xEE\xEE"},  // a site file takes no value
        {"get /page.kvi?sp%65ed=9&speed=8 h", "\x08\xEE\xEE\xEE"},   // names are not decoded
        {"get /page.kvi?speed=9\r\n", "\x09\xEE\xEE\xEE"},
        {"get /page.kvi?speed=%3", "\xEE\xEE\xEE\xEE"},
        {"get /page.kvi?speed=%", "\xEE\xEE\xEE\xEE"},
    };
    for (const auto& c : cases) {
        Device d = formDevice();
        applyQuery(d, c.request);
        EXPECT_EQ(ramText(d, 0x10, 4), c.speedAndCount) << c.request;
    }
}

TEST(FormQuery, BitsAndTheChangeFlag) {
    Device d = formDevice();
    applyQuery(d, "get /page.kvi?led=3 h");
    EXPECT_EQ(d.bitRead(3), 1);
    EXPECT_EQ(d.status & kChangeFlag, kChangeFlag);
    applyQuery(d, "get /page.kvi?led=2 h");
    EXPECT_EQ(d.bitRead(3), 0);
    d.status = 0;
    applyQuery(d, "get /page.kvi?speed=238 h");  // the value it already holds
    EXPECT_EQ(d.status, 0);
}

TEST(FormQuery, StringToTheSerialRegisterGoesOutWithoutPadding) {
    struct Recorder : DeviceEffects {
        std::string serial;
        void serialOutput(uint8_t b) override { serial += static_cast<char>(b); }
    } fx;
    Device d = formDevice();
    d.setEffects(&fx);
    applyQuery(d, "get /page.kvi?tx=hi&name=ab h");
    EXPECT_EQ(fx.serial, "hi") << "the serial register takes the characters, without padding";
    fx.serial.clear();
    applyQuery(d, "get /page.kvi?tx=%41bcdef h");
    EXPECT_EQ(fx.serial, "Abc") << "at most the object's size";
}

TEST(NumberText, ReadsTheLeadingNumberAndRoundsHalvesToEven) {
    struct Case {
        const char* text;
        std::optional<int32_t> value;
    } cases[] = {
        {"", 0},
        {"  42abc", 42},
        {"-0.5", 0},
        {"0.5", 0},
        {"1.5", 2},
        {"-1.5", -2},
        {"2.4999", 2},
        {"1e3", 1000},
        {"1e", 1},
        {"1e+2", 100},
        {"12e-1", 1},
        {"-", 0},
        {".", 0},
        {"e5", 0},
        {"&H7fffffff", 2147483647},
        {"&h80000000", -2147483647 - 1},
        {"&hz", 0},
        {"&o777", 511},
        {"&h100000000", std::nullopt},
        {"2147483647.5", std::nullopt},
        {"-2147483648.4", -2147483647 - 1},
        {"1e-999", 0},
        {"99999999999", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(readRoundedInteger(c.text), c.value) << '"' << c.text << '"';
}

}  // namespace
}  // namespace brindlecor::server
