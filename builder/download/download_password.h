// The builder's download password: entered in clear, kept and stored only scrambled under "Password" in
// the builder's settings; 16 x 0xFF means none.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/settings_keys.h"
#include "common/settings_store.h"

namespace brindlecor::builder {

using PasswordBytes = std::array<uint8_t, 16>;

constexpr std::string_view kPasswordKey = brindlecor::settings::kDownloadPassword.name;

// The 16 bytes that requests carry for a clear password: cut or space-padded to 16 characters; all spaces
// (an empty answer) or all 0xFF is none, anything else scrambled.
PasswordBytes downloadPasswordBytes(std::string_view clear);

// True when the bytes mean "no password".
bool isNoDownloadPassword(const PasswordBytes& bytes);

// Enters a clear password as the menu does: a password is stored scrambled under "Password", none deletes
// the key. Returns the bytes now held; error is set when the settings file could not be written.
PasswordBytes enterDownloadPassword(std::string_view clear, SettingsStore& settings, std::string& error);

// The password held at start-up: the stored 16 characters, 16 x 0xFF when the key is absent.
PasswordBytes loadDownloadPassword(const SettingsStore& settings);

}  // namespace brindlecor::builder
