// The per-user settings of one program: key/value byte strings in section "Config" of a small text file
// under the XDG config folder. Keys compare case-insensitively; values round-trip all 256 byte values.
// A damaged file reads as defaults and is kept aside under a new name before it is first overwritten. Each
// change is read, made and written under a lock file beside the settings file, then renamed into place.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace brindlecor {

class SettingsStore {
public:
    // The store of an application ("Tamarquill", "BrindlecorPC"):
    // $XDG_CONFIG_HOME/<application>.conf, or ~/.config/<application>.conf.
    static SettingsStore forApplication(std::string_view application);

    explicit SettingsStore(std::string filePath);

    // The value stored under key, or defaultValue when the key is absent.
    std::string getSetting(std::string_view key, std::string_view defaultValue) const;

    // Stores value under key, replacing an entry whose key differs only in case. Returns false and sets
    // lastError() when the file cannot be written.
    bool saveSetting(std::string_view key, std::string_view value);

    // Removes key; a missing key is no error. Returns false and sets lastError() when the file cannot be
    // written.
    bool deleteSetting(std::string_view key);

    const std::string& path() const { return path_; }
    const std::string& lastError() const { return lastError_; }
    // True when the file on disk could not be read as a settings file; its values read as defaults.
    bool damaged() const { return damaged_; }

private:
    void load();
    bool store();
    std::vector<std::pair<std::string, std::string>>::iterator find(std::string_view key);

    std::string path_;
    std::vector<std::pair<std::string, std::string>> entries_;
    std::string lastError_;
    bool damaged_ = false;
};

// Encoding of one value or key for the file: printable ASCII stays, "\" and every other byte become
// "\\" and "\xHH"; a leading or trailing space, and a leading "#" or "[", are escaped too.
std::string escapeSetting(std::string_view raw);
// Inverse of escapeSetting; false on a malformed escape.
bool unescapeSetting(std::string_view text, std::string& out);

}  // namespace brindlecor
