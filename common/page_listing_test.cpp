#include "common/page_listing.h"

#include <gtest/gtest.h>

#include "common/page_codes.h"

namespace brindlecor {
namespace {

std::vector<uint8_t> bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

TEST(PageListing, ReferencesAsTheBuilderCompilesThem) {
    const ObjectNamer names = [](uint8_t load, uint16_t address, uint8_t size) -> std::string {
        if (load == code::kLoadByte && address == 0x40) return "temp";
        if (load == code::kOutString && address == 0x100 && size == 20) return "msg";
        return "";
    };
    using namespace std::string_literals;
    const struct {
        std::string stored;
        std::string named, unnamed;
    } cases[] = {
        {"Temp: ^\x83\x40\x00\x98 C"s, "Temp: ^temp^ C", "Temp: ^#0x0040^ C"},
        {"^\x83\x40\x00\xBF"s, "^temp^", "^#0x0040^"},
        {"^\x83\x40\x00\x8C\x03\xAA\x98"s, "^temp+3^", "^#0x0040+3^"},
        {"^\x86\x10\x00\x92\xFF\xFF\xFF\xFF\xAA\x98"s, "^#0x0010[dw]-1^", "^#0x0010[dw]-1^"},
        {"^\x89\x20\x00\x8F\x2C\x01\xAD\x98"s, "^#0x0020[dd]*300^", ""},
        {"^\x83\x40\x00\x8F\x40\x9C\xB0\x98"s, "^temp/-25536^", ""},  // the device sign-extends 8F
        {"^\x83\x40\x00\x8C\x0F\xA1\x98^\x83\x40\x00\x8C\x01\xA4\x98^\x83\x40\x00\x8C\x02\xA7\x98"s,
         "^temp&15^^temp|1^^temp~2^", ""},
        {"^\x83\x40\x00\x8C\x04\xB3^\x83\x40\x00\x8C\x02\xB6"s, "^temp#4^^temp$2^", ""},
        {"^\x83\x40\x00\x8C\x08\xB9^\x83\x40\x00\x92\x00\x00\x00\x80\xB9"s, "^temp'3^^temp'31^", ""},
        {"^\x83\x40\x00\xBC\x20\x2D^\x83\x40\x00\xBC\x2B\x2D^\x83\x40\x00\xBC\x50\x4D"s,
         "^temp:s^^temp:p^^temp:m^", ""},
        {"^\x83\x40\x00\xC2^\x83\x40\x00\x9B\x02"s, "^temp:exitif0^^temp:2^", ""},
        {"^\x9E\x14\x00\x01 ^\x9E\x05\x00\x01"s, "^msg^ ^#0x0100[5]^", ""},
        {"^\x80\x09\x00\x98"s, "^#bit9^", ""},
        {"5^^3"s, "5^^3", "5^^3"},
        // Sequences no reference compiles to: shown as their bytes.
        {"^\x83\x40\x00\x8C\x03\xB9"s, "^{83 40 00 8C 03 B9}^", ""},
        {"^\x95\x40\x00\x83\x40\x00\x98"s, "^{95 40 00 83 40 00 98}^", ""},
        {"^\x01\x83\x40\x00\x98"s, "^{01 83 40 00 98}^", ""},
        {"^\x83\x40\x00\x8C\x01\xAA\xAD\x98"s, "^{83 40 00 8C 01 AA AD 98}^", ""},
    };
    for (const auto& c : cases) {
        const PageListing named = listPage(bytes(c.stored), names);
        EXPECT_EQ(named.text, c.named);
        EXPECT_TRUE(named.problems.empty()) << c.named;
        if (!c.unnamed.empty()) {
            EXPECT_EQ(listPage(bytes(c.stored), nullptr).text, c.unnamed);
        }
    }
}

TEST(PageListing, ASequenceCutByTheEndOfTheFileIsAProblem) {
    using namespace std::string_literals;
    for (const std::string& stored : {"ab^\x83\x40"s, "ab^"s, "ab^\x83\x40\x00\x8C"s}) {
        const PageListing listing = listPage(bytes(stored), nullptr);
        ASSERT_EQ(listing.problems.size(), 1u) << listing.text;
        EXPECT_EQ(listing.problems[0].offset, 2u);
        EXPECT_EQ(listing.text.substr(0, 4), "ab^{");
    }
}

}  // namespace
}  // namespace brindlecor
