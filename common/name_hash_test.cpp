#include "common/name_hash.h"

#include <gtest/gtest.h>

#include <string>

namespace brindlecor {
namespace {

uint32_t bytes(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3) {
    return b0 | (b1 << 8) | (b2 << 16) | (static_cast<uint32_t>(b3) << 24);
}

TEST(NameHash, DocumentedResults) {
    struct Case {
        const char* text;
        uint32_t expected;
    } cases[] = {
        {"index.htm", bytes(0xB6, 0x1A, 0xBF, 0x08)},
        {"index_htm", bytes(0xB6, 0x1A, 0xBF, 0x08)},
        {"Index.htm", bytes(0x2F, 0xDB, 0x9F, 0x08)},
        {"a", bytes(0x7E, 0xA8, 0x60, 0x00)},
        {"abc", bytes(0x49, 0x57, 0x25, 0x02)},
        {"led1", bytes(0xE6, 0x7F, 0x65, 0x03)},
        {"images/logo.gif", bytes(0xFE, 0x5A, 0xEA, 0x0E)},
    };
    for (const auto& c : cases) EXPECT_EQ(static_cast<uint32_t>(calcHASH(c.text)), c.expected) << c.text;
    EXPECT_EQ(calcHASH("index.htm"), 146741942);
}

TEST(NameHash, CrcCheckValueAndTrace) {
    uint16_t check = 0xFFFF;
    for (char c : std::string("123456789")) check = crcStep(check, static_cast<uint8_t>(c));
    EXPECT_EQ(check, 0x4B37);

    // The per-character trace of index.htm.
    const uint16_t trace[] = {0x6E7F, 0x0CAE, 0x578C, 0x8E96, 0x4C0E, 0xFC8D, 0x8B3D, 0xF64A, 0x1AB6};
    uint32_t running = kHashStart;
    const std::string name = "index.htm";
    for (size_t i = 0; i < name.size(); ++i) {
        running = hashStep(running, static_cast<uint8_t>(name[i]));
        EXPECT_EQ(running & 0xFFFF, trace[i]) << i;
    }
}

TEST(NameHash, LengthByteAndHighCharacters) {
    EXPECT_EQ(static_cast<uint32_t>(calcHASH("x")) >> 24, 0u);
    EXPECT_EQ(static_cast<uint32_t>(calcHASH(std::string(256, 'x'))) >> 24, 0xFFu);
    EXPECT_LT(calcHASH(std::string(129, 'x')), 0);
    EXPECT_GE(calcHASH(std::string(128, 'x')), 0);
    EXPECT_EQ(calcHASH("a.b"), calcHASH("a_b"));
    EXPECT_NE(calcHASH("\xE9"), calcHASH("\x69"));
}

}  // namespace
}  // namespace brindlecor
