#include "builder/download/config_overrides.h"

#include <gtest/gtest.h>

#include "builder/definitions/credentials.h"

namespace brindlecor::builder {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes text(std::string_view t) {
    return Bytes(t.begin(), t.end());
}

TEST(ConfigOverrides, EachTextBecomesItsFieldOrIsRefusedWithAReason) {
    const std::string name64(64, 'n');
    struct Case {
        OverrideKind kind;
        std::string text;
        uint32_t address;  // 0: refused
        Bytes bytes;       // the field, or the reason's text when refused
        std::string shown = "";
    } cases[] = {
        {OverrideKind::DeviceName, "Lab", 0x4000, text("Lab" + std::string(61, ' ')), "Lab"},
        {OverrideKind::DeviceName, name64, 0x4000, text(name64), name64},
        {OverrideKind::DeviceName, name64 + "x", 0, text("longer than 64 characters")},
        {OverrideKind::DefaultIpAddress, "192.168.1.250", 0x4060, {0xC0, 0xA8, 0x01, 0xFA}, "192.168.1.250"},
        {OverrideKind::DefaultIpAddress, "10.0.0.7 rack 2", 0x4060, {10, 0, 0, 72}, "10.0.0.72"},
        {OverrideKind::DefaultIpAddress, "0.0.0.0", 0x4060, {0, 0, 0, 0}, "0.0.0.0"},
        {OverrideKind::DefaultIpAddress, "10.0.0.256", 0, text("not an IP address: a number is above 255")},
        {OverrideKind::DefaultIpAddress, "192.168.1", 0,
         text("not an IP address: it has fewer than four numbers")},
        {OverrideKind::Dhcp, "On", 0x4064, {0xFF}, "ON"},
        {OverrideKind::Dhcp, "off", 0x4064, {0x00}, "OFF"},
        {OverrideKind::Dhcp, "yes", 0, text("not On or Off")},
        {OverrideKind::InitializeP1, "&H80", 0x4067, {0x80}, "128"},
        {OverrideKind::InitializeP1, "-1", 0x4067, {0xFF}, "-1"},
        {OverrideKind::InitializeP1, "300", 0x4067, {0x2C}, "300"},  // the low byte
        {OverrideKind::InitializeP1, "12abc", 0x4067, {12}, "12"},
        {OverrideKind::InitializeP1, "32767", 0x4067, {0xFF}, "32767"},
        {OverrideKind::InitializeP1, "70000", 0, text("not a number from -32768 to 32767")},
        {OverrideKind::InitializeP1, "-32769", 0, text("not a number from -32768 to 32767")},
        {OverrideKind::AccessPassword, "admin:pw", 0x4068, text(credentialField("admin:pw")),
         "admin:********"},
        {OverrideKind::MasterPassword, "abcdefghijkl:mnopqrstuvw", 0x4088,
         text(base64Encode("abcdefghijkl:mnopqrstuvw")), "abcdefghijkl:********"},
        {OverrideKind::MasterPassword, "", 0x4088, Bytes(32, 0xFF), "none"},
        {OverrideKind::AccessPassword, "abcdefghijkl:mnopqrstuvwx", 0, text("longer than 24 characters")},
        {OverrideKind::AccessPassword, "m\xFCller:pw", 0, text("has a character that is not 7-bit ASCII")},
        {OverrideKind::AccessPassword, "secret", 0, text("not Username:Password")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::string reason;
        const auto field = encodeOverride(c.kind, c.text, reason);
        if (c.address == 0) {
            ASSERT_FALSE(field);
            EXPECT_EQ(text(reason), c.bytes);
            continue;
        }
        ASSERT_TRUE(field) << reason;
        EXPECT_EQ(field->address, c.address);
        EXPECT_EQ(field->bytes, c.bytes);
        EXPECT_EQ(field->shown, c.shown);
    }
    EXPECT_EQ(text(credentialField("admin:pw")), text("YWRtaW46cHc=" + std::string(20, ' ')));
}

TEST(ConfigOverrides, ApplyingReplacesOnlyTheFieldsOfACopy) {
    Bytes image(0x600);
    for (size_t k = 0; k < image.size(); ++k) image[k] = static_cast<uint8_t>(k * 7 + 3);
    OverrideTexts texts;
    texts[static_cast<int>(OverrideKind::DeviceName)] = "Lab";
    texts[static_cast<int>(OverrideKind::InitializeP1)] = "&H1F";
    const OverrideEncoding encoding = encodeOverrides(texts);
    ASSERT_TRUE(encoding.ok());
    ASSERT_EQ(encoding.fields.size(), 2u);
    EXPECT_EQ(overrideLogLine(encoding.fields[0]), "Override: Device Name - Lab\r\n");
    EXPECT_EQ(overrideLogLine(encoding.fields[1]), "Override: Initialize P1 - 31\r\n");

    const Bytes out = applyOverrides(image, encoding.fields);
    ASSERT_EQ(out.size(), image.size());
    for (size_t k = 0; k < out.size(); ++k) {
        if (k < 64) {
            EXPECT_EQ(out[k], k < 3 ? "Lab"[k] : ' ') << k;
        } else if (k == 0x67) {
            EXPECT_EQ(out[k], 0x1F);
        } else {
            EXPECT_EQ(out[k], image[k]) << k;
        }
    }

    // A file too short for the block is lengthened with erased bytes up to the field.
    const Bytes tiny = applyOverrides(Bytes{1, 2}, encoding.fields);
    ASSERT_EQ(tiny.size(), 0x68u);
    EXPECT_EQ(tiny[0x66], 0xFF);
    EXPECT_EQ(tiny[0x67], 0x1F);

    texts[static_cast<int>(OverrideKind::Dhcp)] = "maybe";
    const OverrideEncoding refused = encodeOverrides(texts);
    EXPECT_FALSE(refused.ok());
    EXPECT_EQ(refused.failed, OverrideKind::Dhcp);
    EXPECT_EQ(refused.reason, "not On or Off");
    EXPECT_TRUE(refused.fields.empty());
}

}  // namespace
}  // namespace brindlecor::builder
