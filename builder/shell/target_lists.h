// The builder's remembered lists: up to 16 download addresses (each optionally followed by a space and a
// name) and the 4 most recent files, most recent first, saved whole after every change.
#pragma once

#include <string>
#include <vector>

#include "common/settings_store.h"

namespace brindlecor::builder {

constexpr size_t kIpListSize = 16;
constexpr size_t kRecentFilesSize = 4;

// Entries 1..16 from "IPList1".."IPList16"; missing keys read as empty entries.
std::vector<std::string> loadIPList(const SettingsStore& store);

// Puts entry at the head of the IP list: an entry with the same address part moves up (and takes the new
// name); without one, entry 16 is dropped. All 16 entries are saved under "IPlist1".."IPlist16".
// Returns false when the settings could not be written.
bool addIPEntry(std::vector<std::string>& ipList, const std::string& entry, SettingsStore& store);

// Empties every entry and deletes its key.
bool clearIPList(std::vector<std::string>& ipList, SettingsStore& store);

// Entries 1..4 from "EditFile1".."EditFile4".
std::vector<std::string> loadRecentFiles(const SettingsStore& store);

// Puts path at the head of the recent files (nothing happens when it is entry 1) and saves all four.
bool addRecentFile(std::vector<std::string>& recentFiles, const std::string& path, SettingsStore& store);

}  // namespace brindlecor::builder
