// The device list of a batch download: a CSV file (RFC 4180 quoting, UTF-8 or plain ASCII) whose header
// line names the columns, then one device a line. Every line is checked here, before anything is sent.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "builder/download/config_overrides.h"

namespace brindlecor::builder {

// The column names, in no required order: "address" is required, every other one optional.
inline constexpr std::string_view kAddressColumn = "address";
inline constexpr std::string_view kPortColumn = "port";
inline constexpr std::string_view kPasswordColumn = "password";

struct ListedDevice {
    int line = 0;                         // the line of the file the device's record starts on
    std::string address;                  // as written: a dotted address or a host name
    int port = 0;                         // 0: not given
    std::optional<std::string> password;  // the device's current download password in clear
    OverrideTexts overrides;              // the cells that were not empty, in Windows-1252
};

struct DeviceList {
    std::vector<ListedDevice> devices;
    std::string error;  // "p1 \"70000\": not a number from -32768 to 32767"; empty when usable
    int errorLine = 0;  // the line the error is on; 0 when it concerns the whole file
};

// Reads and checks the whole list; on the first bad line, error names it and devices is empty. Override
// cells must be values that can be applied; an empty cell means "not overridden".
DeviceList readDeviceList(std::string_view csv);

// The column of each override: "device_name", "ip", "dhcp", "p1", "access_password", "master_password".
std::string_view overrideColumn(OverrideKind kind);

}  // namespace brindlecor::builder
