#include "builder/download/config_overrides.h"

#include <algorithm>

#include "builder/definitions/credentials.h"
#include "common/image_layout.h"
#include "common/ip_text.h"
#include "common/number_text.h"
#include "common/password.h"
#include "common/text.h"

namespace brindlecor::builder {

namespace img = brindlecor::image;
namespace keys = brindlecor::settings;

namespace {

constexpr size_t kMaxCredentialLength = 24;  // its Base64 text fills the 32 characters exactly

std::vector<uint8_t> bytesOf(std::string_view text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

std::optional<FieldOverride> credential(OverrideKind kind, std::string_view text, std::string& reason) {
    if (text.size() > kMaxCredentialLength) {
        reason = "longer than 24 characters";
        return std::nullopt;
    }
    if (std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) > 0x7F; })) {
        reason = "has a character that is not 7-bit ASCII";
        return std::nullopt;
    }
    const size_t colon = text.find(':');
    // A browser always sends a user name and a password with ":" between; a field without one opens nothing.
    if (!text.empty() && colon == std::string_view::npos) {
        reason = "not Username:Password";
        return std::nullopt;
    }
    const uint32_t address =
        kind == OverrideKind::AccessPassword ? img::kAccessCredentialAddress : img::kMasterCredentialAddress;
    const std::string shown = text.empty() ? "none" : std::string(text.substr(0, colon)) + ":********";
    return FieldOverride{kind, address, bytesOf(credentialField(text)), shown};
}

}  // namespace

const keys::Key& overrideKey(OverrideKind kind) {
    static const keys::Key* const table[kOverrideCount] = {
        &keys::kOverrideDefaultIpAddress, &keys::kOverrideDeviceName,
        &keys::kOverrideInitializeP1,     &keys::kOverrideDhcp,
        &keys::kOverrideAccessPassword,   &keys::kOverrideMasterPassword,
    };
    return *table[static_cast<int>(kind)];
}

std::optional<int> initializeP1Number(std::string_view text) {
    const auto value = readRoundedInteger(text);
    if (!value || *value < -32768 || *value > 32767) return std::nullopt;
    return *value;
}

std::optional<FieldOverride> encodeOverride(OverrideKind kind, std::string_view text, std::string& reason) {
    switch (kind) {
        case OverrideKind::DeviceName:
            if (text.size() > img::kDeviceNameSize) {
                reason = "longer than 64 characters";
                return std::nullopt;
            }
            return FieldOverride{kind, img::kDeviceNameAddress,
                                 bytesOf(fixedField(text, img::kDeviceNameSize)), std::string(text)};
        case OverrideKind::DefaultIpAddress: {
            const auto value = IP_to_Long(text);
            if (!value) {
                reason = "not an IP address: a number is above 255";
                return std::nullopt;
            }
            if (!hasFourOctets(text)) {
                reason = "not an IP address: it has fewer than four numbers";
                return std::nullopt;
            }
            std::vector<uint8_t> bytes(4);
            for (int k = 0; k < 4; ++k) bytes[k] = static_cast<uint8_t>(*value >> (8 * k));
            return FieldOverride{kind, img::kInitialIpAddress, bytes, Long_to_IP(*value)};
        }
        case OverrideKind::Dhcp: {
            const std::string word = lowerCase(text);
            if (word != "on" && word != "off") {
                reason = "not On or Off";
                return std::nullopt;
            }
            const bool on = word == "on";
            return FieldOverride{
                kind, img::kDhcpAddress, {on ? img::kFlagOn : img::kFlagOff}, on ? "ON" : "OFF"};
        }
        case OverrideKind::InitializeP1: {
            const auto value = initializeP1Number(text);
            if (!value) {
                reason = "not a number from -32768 to 32767";
                return std::nullopt;
            }
            return FieldOverride{
                kind, img::kPortInitAddress, {static_cast<uint8_t>(*value & 0xFF)}, decimal(*value)};
        }
        case OverrideKind::AccessPassword:
        case OverrideKind::MasterPassword:
            return credential(kind, text, reason);
    }
    return std::nullopt;
}

OverrideEncoding encodeOverrides(const OverrideTexts& texts) {
    OverrideEncoding encoding;
    for (int i = 0; i < kOverrideCount; ++i) {
        if (!texts[i]) continue;
        const auto kind = static_cast<OverrideKind>(i);
        auto field = encodeOverride(kind, *texts[i], encoding.reason);
        if (!field) {
            encoding.failed = kind;
            encoding.fields.clear();
            return encoding;
        }
        encoding.fields.push_back(std::move(*field));
    }
    return encoding;
}

std::vector<uint8_t> applyOverrides(std::span<const uint8_t> image, std::span<const FieldOverride> fields) {
    std::vector<uint8_t> out(image.begin(), image.end());
    for (const FieldOverride& field : fields) {
        const size_t offset = field.address - img::kImageBase;
        if (out.size() < offset + field.bytes.size()) out.resize(offset + field.bytes.size(), img::kErased);
        std::copy(field.bytes.begin(), field.bytes.end(), out.begin() + static_cast<std::ptrdiff_t>(offset));
    }
    return out;
}

std::string overrideLogLine(const FieldOverride& field) {
    return "Override: " + std::string(overrideKey(field.kind).name) + " - " + field.shown + "\r\n";
}

}  // namespace brindlecor::builder
