// A batch download: one image to many devices, one after another or several at a time, each from a local
// UDP port of its own and each stop-and-wait as a single download is. A failing device does not stop the
// others. One result line per device goes to stdout, progress to stderr when it is a terminal.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "builder/download/config_overrides.h"
#include "builder/download/download_password.h"

namespace brindlecor::builder {

constexpr int kMaxBatchJobs = 32;

struct BatchDevice {
    std::string shown;    // how the result line names it: the address as listed, ":", the port
    std::string name;     // the device name it is given (Windows-1252), empty when none
    std::string address;  // dotted IPv4
    int port = 0;
    PasswordBytes password{};
    std::vector<FieldOverride> overrides;
};

struct BatchSettings {
    int jobs = 1;           // devices at a time, 1-32
    int localPort = 26000;  // the first job's local port, the next ones above it; 0: any free ports
    bool verify = false;
    bool assumeYes = false;  // the answer to a firmware image's question
    bool progress = false;   // draw the progress line on stderr
};

struct BatchResult {
    std::optional<std::string> error;  // a local port that could not be bound: nothing was sent
    int downloaded = 0;
};

// Downloads the image bytes (read and checked already) to every device; the last line of stdout says
// "K of N devices downloaded".
BatchResult runBatch(const std::vector<uint8_t>& image, const std::vector<BatchDevice>& devices,
                     const BatchSettings& settings);

}  // namespace brindlecor::builder
