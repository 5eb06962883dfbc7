// Every setting the two programs keep, with its default: one table, so that each key is spelt and defaulted
// in one place. Numbered keys (the IP list, the recent files, the serial devices) take their number after
// the stem.
#pragma once

#include <string>
#include <string_view>

#include "common/settings_store.h"

namespace brindlecor::settings {

struct Key {
    std::string_view name;
    std::string_view defaultValue;
};

inline constexpr std::string_view kBuilderApplication = "Tamarquill";
inline constexpr std::string_view kServerApplication = "BrindlecorPC";

// Tamarquill.
inline constexpr Key kFirstIpEntry{"IPList1", "127.0.0.1"};     // the download address at start-up
inline constexpr std::string_view kIpListStem = "IPList";       // "IPList1".."IPList16", default empty
inline constexpr std::string_view kIpListWriteStem = "IPlist";  // written and deleted under this spelling
inline constexpr Key kDownloadPort{"DownloadPort", "26481"};
inline constexpr Key kDownloadPassword{"Password",
                                       "\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF"};
inline constexpr Key kEditor{"Editor", "xdg-open"};  // the desktop's file opener stands in for the editor
// The configuration overrides, saved and loaded only on request; reading kOverrideAbsent means "not saved".
inline constexpr std::string_view kOverrideAbsent = "!@#$%";
inline constexpr Key kOverrideDefaultIpAddress{"Default IP Address", kOverrideAbsent};
inline constexpr Key kOverrideDeviceName{"Device Name", kOverrideAbsent};
inline constexpr Key kOverrideInitializeP1{"Initialize P1", kOverrideAbsent};
inline constexpr Key kOverrideDhcp{"DHCP", kOverrideAbsent};
inline constexpr Key kOverrideAccessPassword{"Access Password", kOverrideAbsent};
inline constexpr Key kOverrideMasterPassword{"Master Password", kOverrideAbsent};

// Both programs.
inline constexpr std::string_view kRecentFileStem = "EditFile";  // "EditFile1".."EditFile4", default empty
inline constexpr Key kTop{"Top", "0"};
inline constexpr Key kLeft{"Left", "0"};

// BrindlecorPC.
inline constexpr Key kHttpPort{"HttpPort", "80"};
inline constexpr Key kPageHeaders{"PageHeaders", "auto"};
inline constexpr Key kRequirePasswords{"RequirePasswords", "off"};
inline constexpr Key kCommPort{"CommPort", "0"};
inline constexpr std::string_view kCommDeviceStem = "CommDevice";        // "CommDevice1".."CommDevice4"
inline constexpr std::string_view kCommDeviceDefaultStem = "/dev/ttyS";  // COMn defaults to /dev/ttyS(n-1)

// The value of a key, or its default.
inline std::string value(const SettingsStore& store, const Key& key) {
    return store.getSetting(key.name, key.defaultValue);
}

// The name of entry n of a numbered key.
inline std::string numbered(std::string_view stem, int n) {
    return std::string(stem) + std::to_string(n);
}

}  // namespace brindlecor::settings
