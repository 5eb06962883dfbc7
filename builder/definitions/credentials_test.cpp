#include "builder/definitions/credentials.h"

#include <gtest/gtest.h>

#include <string>

namespace brindlecor::builder {
namespace {

TEST(Credentials, Base64OfTextsAndBytes) {
    struct Case {
        std::string text;
        std::string encoded;
    } cases[] = {
        {"", ""},
        {"a", "YQ=="},
        {"ab", "YWI="},
        {"abc", "YWJj"},
        {"Username:Password", "VXNlcm5hbWU6UGFzc3dvcmQ="},
        {"admin:0123456789abcdefgh", "YWRtaW46MDEyMzQ1Njc4OWFiY2RlZmdo"},
        {"admin:0123456789abcdefghi", "YWRtaW46MDEyMzQ1Njc4OWFiY2RlZmdoaQ=="},
        // 8-bit characters are encoded as their bytes.
        {"\xE9t\xE9", "6XTp"},
        {"\xFF\xFE\xFD\x80", "//79gA=="},
    };
    for (const auto& c : cases) EXPECT_EQ(base64Encode(c.text), c.encoded) << c.text;
}

TEST(Credentials, DigitUsesLowSixBits) {
    struct Case {
        int32_t value;
        char digit;
    } cases[] = {{0, 'A'},  {25, 'Z'}, {26, 'a'}, {51, 'z'}, {52, '0'},        {61, '9'},
                 {62, '+'}, {63, '/'}, {64, 'A'}, {-1, '/'}, {0x12345678, '4'}};
    for (const auto& c : cases) EXPECT_EQ(base64Digit(c.value), c.digit) << c.value;
}

}  // namespace
}  // namespace brindlecor::builder
