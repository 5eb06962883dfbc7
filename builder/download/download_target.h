// Where a download goes when nothing else is said: the address part of the first IP list entry and the
// stored download port, read as the builder does at start-up.
#pragma once

#include <string>
#include <string_view>

#include "common/settings_keys.h"
#include "common/settings_store.h"

namespace brindlecor::builder {

constexpr std::string_view kDefaultDownloadAddress = brindlecor::settings::kFirstIpEntry.defaultValue;

struct DownloadTarget {
    std::string address;
    int port = 0;
};

// "IPList1" (default "127.0.0.1", also when empty) and "DownloadPort" (default 26481; a value that is no port
// 1-65535 falls back to it).
DownloadTarget loadDownloadTarget(const SettingsStore& settings);

// A decimal port 1-65535 with nothing else in the text; 0 when the text is not one.
int parsePort(std::string_view text);

}  // namespace brindlecor::builder
