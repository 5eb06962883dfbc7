// The configuration overrides applied to the image that a download sends: each override is kept as the
// text it was typed or stored as, and converted only here, when it replaces its field of the configuration
// block. The image file itself is never changed.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/settings_keys.h"

namespace brindlecor::builder {

// The six overrides, in the order that Save and Load go through them.
enum class OverrideKind { DefaultIpAddress, DeviceName, InitializeP1, Dhcp, AccessPassword, MasterPassword };
constexpr int kOverrideCount = 6;

// The settings key an override is saved under; its name is also the override's label ("Device Name").
const brindlecor::settings::Key& overrideKey(OverrideKind kind);

// Override texts by kind; nothing means "not overridden".
using OverrideTexts = std::array<std::optional<std::string>, kOverrideCount>;

// One configuration field as an override sets it.
struct FieldOverride {
    OverrideKind kind;
    uint32_t address = 0;        // device address of the field
    std::vector<uint8_t> bytes;  // the whole field
    std::string shown;           // the value as the log shows it (a credential without its password)
};

struct OverrideEncoding {
    std::vector<FieldOverride> fields;  // in the order of OverrideKind
    // The first override that cannot be applied, and why ("not a number from -32768 to 32767").
    std::optional<OverrideKind> failed;
    std::string reason;
    bool ok() const { return !failed; }
};

// Converts one override text into its field: the device name space-padded to 64 characters, the IP address
// as the four bytes of IP_to_Long, DHCP "On" 0xFF and "Off" 0x00 (in any case), P1 the low byte of the text
// read as a number, a credential ("Username:Password", at most 24 7-bit characters) Base64 encoded into
// its 32 characters (empty: no password). Nothing, with the reason set, when the text cannot be applied.
std::optional<FieldOverride> encodeOverride(OverrideKind kind, std::string_view text, std::string& reason);

// Every override that is present, converted; stops at the first that cannot be.
OverrideEncoding encodeOverrides(const OverrideTexts& texts);

// The bytes a download sends: the image with every field replaced. An image too short to hold a field is
// first lengthened with erased bytes (0xFF), which the download would have sent there anyway.
std::vector<uint8_t> applyOverrides(std::span<const uint8_t> image, std::span<const FieldOverride> fields);

// The log line of an applied override: "Override: Device Name - Lab" and CR LF.
std::string overrideLogLine(const FieldOverride& field);

// The number a P1 override text stands for, as its caption shows it: read as a number ("&H" hexadecimal,
// up to the first character that cannot continue it, 0 without one) and rounded; nothing when it does not
// fit 16 bits signed.
std::optional<int> initializeP1Number(std::string_view text);

}  // namespace brindlecor::builder
