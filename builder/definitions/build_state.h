// What a make works from: the object table filled by the definitions compiler and the build settings that
// directives set. The settings live for the whole builder run; only setStartupDefaults resets them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace brindlecor::builder {

constexpr size_t kMaxObjects = 10000;
constexpr size_t kMaxPageTypes = 100;

// Initial value of an object: none (equ), 8-bit, 16-bit signed, 32-bit signed, or text.
using InitialValue = std::variant<std::monostate, uint8_t, int16_t, int32_t, std::string>;

struct ObjectRecord {
    std::string name;  // lower case
    uint8_t typeCode = 0;
    int16_t size = 0;
    int32_t address = 0;  // RAM address; the bit number for a Bit object
    InitialValue initial;
    uint8_t direction = 0;  // 1 input only, 2 output only, 3 bidirectional
    uint8_t secured = 0;    // 0 or 255
    int32_t hash = 0;
    // Where the declaration stands, for messages about the object: an index into the make's reads
    // (MakeFiles), -1 when unknown, and the 1-based line and column of its first character.
    int32_t declaredIn = -1;
    int32_t declaredLine = 0;
    int32_t declaredColumn = 0;
};

// Booleans are 16-bit values as the directives set them: -1 on, 0 off.
struct BuildSettings {
    std::string siteRoot;
    std::string siteFile;
    int16_t dhcpOn = -1;
    std::string initialIp = "192.168.0.200";
    std::string downloadPassword = std::string(16, '\xFF');
    int16_t postIrqOn = 0;
    int16_t directionMode = 3;
    int16_t secureMode = 0;
    std::string formatFile;
    std::string exportHeaderFile;
    std::string exportFooterFile;
    std::string exportFile;
    std::string deviceName;
    std::string sitePassword = std::string(16, '\xFF');
    int16_t serialHandshakeOn = -1;
    int16_t initializePort = 255;
    int16_t postIrqMask = 0;
    std::string accessPassword = std::string(32, '\xFF');
    std::string masterPassword = std::string(32, '\xFF');
    std::vector<std::string> pageTypes{"htm", "html", "xml", "wml"};
};

// Every build setting back to its startup default.
inline void setStartupDefaults(BuildSettings& settings) { settings = BuildSettings{}; }

}  // namespace brindlecor::builder
