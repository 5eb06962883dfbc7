#include "builder/shell/target_lists.h"

#include "common/ip_text.h"
#include "common/path_text.h"
#include "common/settings_keys.h"

namespace brindlecor::builder {

namespace {

std::vector<std::string> loadNumbered(const SettingsStore& store, std::string_view stem, size_t count) {
    std::vector<std::string> list(count);
    for (size_t i = 0; i < count; ++i)
        list[i] = store.getSetting(brindlecor::settings::numbered(stem, static_cast<int>(i + 1)), "");
    return list;
}

bool saveNumbered(const std::vector<std::string>& list, std::string_view stem, SettingsStore& store) {
    bool ok = true;
    for (size_t i = 0; i < list.size(); ++i)
        ok = store.saveSetting(brindlecor::settings::numbered(stem, static_cast<int>(i + 1)), list[i]) && ok;
    return ok;
}

}  // namespace

std::vector<std::string> loadIPList(const SettingsStore& store) {
    return loadNumbered(store, brindlecor::settings::kIpListStem, kIpListSize);
}

bool addIPEntry(std::vector<std::string>& ipList, const std::string& entry, SettingsStore& store) {
    ipList.resize(kIpListSize);
    const std::string address = addressPart(entry);
    size_t k = kIpListSize - 1;
    for (size_t i = 0; i < kIpListSize; ++i) {
        if (addressPart(ipList[i]) == address) {
            k = i;
            break;
        }
    }
    if (addressPart(ipList[0]) != address)
        for (size_t j = k; j > 0; --j) ipList[j] = ipList[j - 1];
    ipList[0] = entry;
    return saveNumbered(ipList, brindlecor::settings::kIpListWriteStem, store);
}

bool clearIPList(std::vector<std::string>& ipList, SettingsStore& store) {
    bool ok = true;
    ipList.assign(kIpListSize, "");
    for (size_t i = 0; i < kIpListSize; ++i)
        ok = store.deleteSetting(brindlecor::settings::numbered(brindlecor::settings::kIpListWriteStem,
                                                                static_cast<int>(i + 1))) &&
             ok;
    return ok;
}

std::vector<std::string> loadRecentFiles(const SettingsStore& store) {
    return loadNumbered(store, brindlecor::settings::kRecentFileStem, kRecentFilesSize);
}

bool addRecentFile(std::vector<std::string>& recentFiles, const std::string& path, SettingsStore& store) {
    recentFiles.resize(kRecentFilesSize);
    if (!addRecentEntry(recentFiles, path)) return true;
    return saveNumbered(recentFiles, brindlecor::settings::kRecentFileStem, store);
}

}  // namespace brindlecor::builder
