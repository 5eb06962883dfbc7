#include "server/emulation/page_renderer.h"

#include <gtest/gtest.h>

#include <string>

namespace brindlecor::server {
namespace {

constexpr uint16_t kAt = 0x5000;

// The bytes of a literal, embedded zeros included.
template <size_t N>
std::string B(const char (&bytes)[N]) {
    return std::string(bytes, N - 1);
}

// Places a stored file in flash and renders it.
bool render(Device& d, const std::string& stored, uint8_t flags, std::string& out, uint16_t at = kAt) {
    std::copy(stored.begin(), stored.end(), d.flash.begin() + at);
    out.clear();
    return renderFile(d, at, static_cast<uint32_t>(stored.size()), flags, out);
}

std::string page(Device& d, const std::string& stored) {
    std::string out;
    EXPECT_TRUE(render(d, stored, 0x40, out)) << "run-time error";
    return out;
}

TEST(PageRenderer, CodeSequencesAgainstRam) {
    struct Case {
        const char* what;
        std::string stored;
        std::string expected;
    } cases[] = {
        {"the worked example", B("Temp: ^\x83\x40\x00\x98 C"), "Temp: 25 C"},
        {"doubled mark", "a^^b^^", "a^b^"},
        {"16-bit -5 in decimal", B("^\x86\x42\x00\x98"), "-5"},
        {"sign of -5", B("^\x86\x42\x00\xBC+-"), "-"},
        {"sign of 25", B("^\x83\x40\x00\xBC+-"), "+"},
        {"byte 7 times 3", B("^\x83\x44\x00\x8C\x03\xAD\x98"), "21"},
        {"bit 10 and the unused byte", B("^\x80\x0A\xEE\x98|^\x80\x0B\x00\x98"), "1|0"},
        {"long", B("^\x89\x48\x00\x98"), "-2147483648"},
        {"digits of 1234", B("^\x92\xD2\x04\x00\x00\xA4\x9B\x02|^\x9B\x0B|^\x9B\x00|^\x9B\x04"), "3|0||1"},
        {"hex of 0x0A", B("^\x8C\x0A\xA4\xBF"), "0A"},
        {"hex uses the low byte", B("^\x86\x42\x00\xBF"), "FB"},
        {"equal low three bytes", B("^\x92\x05\x00\x00\x01\xA4\x8C\x05\xB6"), "CHECKED"},
        {"different low bytes", B("^\x8C\x06\xB6."), "."},
        {"and-checked", B("^\x83\x40\x00\x8C\x01\xB3"), "CHECKED"},
        {"and-checked off", B("^\x83\x40\x00\x8C\x02\xB3."), "."},
        {"bit select", B("^\x83\x40\x00\x8C\x08\xB9^\x83\x40\x00\x8C\x02\xB9"), "10"},
        {"string stops at 0", B("[^\x9E\x09\x50\x00]"), "[hello]"},
        {"string stops at count", B("[^\x9E\x03\x50\x00]"), "[hel]"},
        {"16-bit constant is sign-extended", B("^\x8C\x00\xA1\x8F\x40\x9C\xAA\x98"), "-25536"},
        {"16-bit constant below 32768", B("^\x8C\x00\xA1\x8F\x2C\x01\xAA\x98"), "300"},
        {"32-bit constant", B("^\x83\x40\x00\x92\xF6\xFF\xFF\xFF\xAA\x98"), "15"},
        {"xor and or", B("^\x83\x40\x00\x8C\x0F\xA7\x98"), "22"},
        {"division truncates toward zero", B("^\x86\x42\x00\x8C\x02\xB0\x98"), "-2"},
        {"bytes that are no code are skipped", B("^\x01\x83\x40\x00\x7F\x98"), "25"},
        {"exit on zero drops the rest", B("<b>^\x8C\x00\xA1\xC2</b>"), "<b>"},
        {"exit looks at the low byte", B("<b>^\x92\x00\x01\x00\x00\xA4\xC2</b>"), "<b>"},
        {"no exit on non-zero", B("<b>^\x83\x40\x00\xC2</b>"), "<b></b>"},
    };
    for (const auto& c : cases) {
        Device d;
        d.ram[0x40] = 25;
        d.ram[0x42] = 0xFB;  // -5
        d.ram[0x43] = 0xFF;
        d.ram[0x44] = 7;
        d.ram[0x48 + 3] = 0x80;  // INT32_MIN
        d.ram[0x2E1] = 0x04;     // bit 10
        std::copy_n("hello\0xyz", 9, d.ram.begin() + 0x50);
        EXPECT_EQ(page(d, c.stored), c.expected) << c.what;
    }
}

TEST(PageRenderer, PlainFilesAndFormHandlersAndHeaders) {
    Device d;
    std::string out;
    ASSERT_TRUE(render(d, "a^b", 0x00, out));
    EXPECT_EQ(out, "HTTP/1.0 200 OK\r\nExpires: Tue, 09 Sep 2025 18:18:18 GMT\r\n\r\na^b");
    ASSERT_TRUE(render(d, "a^^b", 0x08, out)) << "password flag alone is still a plain file";
    EXPECT_EQ(out, std::string(kPlainFileHeader) + "a^^b");
    ASSERT_TRUE(render(d, "a^^b", 0x10, out)) << "a form handler not compiled as a page";
    EXPECT_EQ(out, "a^^b");
    ASSERT_TRUE(render(d, "a^^b", 0x48, out));
    EXPECT_EQ(out, "a^b");
}

TEST(PageRenderer, RegistersPersistAcrossReferencesAndRequests) {
    Device d;
    d.ram[0x40] = 9;
    EXPECT_EQ(page(d, B("^\x83\x40\x00\x98")), "9");
    EXPECT_EQ(page(d, B("^\x8C\x02\xAD\x98,^\x98")), "18,18");
    EXPECT_EQ(d.accumulator, 18);
    EXPECT_EQ(d.operandRegister, 2);
}

TEST(PageRenderer, IncrementStoresDirectlyWithoutChangeFlag) {
    Device d;
    d.ram[0x60] = 0xFF;
    EXPECT_EQ(page(d, B("^\x95\x60\x00\x89\x60\x00\x98")), "256");
    EXPECT_EQ(d.ram[0x61], 1);
    EXPECT_EQ(d.status, 0);
}

TEST(PageRenderer, SequenceRunsOnIntoTheFollowingFlash) {
    Device d;
    d.accumulator = 42;
    std::copy_n("\x98tail", 5, d.flash.begin() + kAt + 2);
    std::string out;
    ASSERT_TRUE(render(d, "A^", 0x40, out));
    EXPECT_EQ(out, "A42");
}

TEST(PageRenderer, RunTimeErrorsEndTheRender) {
    struct Case {
        const char* what;
        std::string stored;
        uint16_t at;
    } cases[] = {
        {"add overflow", B("^\x92\xFF\xFF\xFF\x7F\xA4\x8C\x01\xAA\x98"), kAt},
        {"multiply overflow", B("^\x92\x00\x00\x01\x00\xA4\xAD\x98"), kAt},
        {"division by zero", B("^\x8C\x00\xB0\x98"), kAt},
        {"minimum divided by -1", B("^\x89\x48\x00\x92\xFF\xFF\xFF\xFF\xB0\x98"), kAt},
        {"increment overflow", B("^\x95\x70\x00\x98"), kAt},
        {"16-bit load past 0xFFFF", B("^\x86\xFF\xFF\x98"), kAt},
        {"string read past 0xFFFF", B("^\x9E\x05\xFE\xFF"), kAt},
        {"operand past the end of flash", B("^\x86"), 0xFFFE},
        {"no output code before the end of flash", B("^\x01"), 0xFFFE},
    };
    for (const auto& c : cases) {
        Device d;
        d.ram[0x48 + 3] = 0x80;
        std::copy_n("\xFF\xFF\xFF\x7F", 4, d.ram.begin() + 0x70);  // INT32_MAX
        d.ram[0xFFFE] = 'x';
        d.ram[0xFFFF] = 'y';
        std::string out;
        EXPECT_FALSE(render(d, c.stored, 0x40, out, c.at)) << c.what;
    }
}

}  // namespace
}  // namespace brindlecor::server
