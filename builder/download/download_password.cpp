#include "builder/download/download_password.h"

#include <algorithm>

#include "common/password.h"

namespace brindlecor::builder {

PasswordBytes downloadPasswordBytes(std::string_view clear) {
    const std::string field = fixedField(clear, 16);
    PasswordBytes bytes;
    if (isAllSpaces(field) || isNoPassword(field)) {
        bytes.fill(0xFF);
        return bytes;
    }
    return scramblePassword(field);
}

bool isNoDownloadPassword(const PasswordBytes& bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0xFF; });
}

PasswordBytes enterDownloadPassword(std::string_view clear, SettingsStore& settings, std::string& error) {
    const PasswordBytes bytes = downloadPasswordBytes(clear);
    const bool stored = isNoDownloadPassword(bytes)
                            ? settings.deleteSetting(kPasswordKey)
                            : settings.saveSetting(kPasswordKey, std::string(bytes.begin(), bytes.end()));
    error = stored ? std::string() : settings.lastError();
    return bytes;
}

PasswordBytes loadDownloadPassword(const SettingsStore& settings) {
    const std::string field = fixedField(settings.getSetting(kPasswordKey, noPasswordField(16)), 16);
    PasswordBytes bytes;
    std::copy(field.begin(), field.end(), bytes.begin());
    return bytes;
}

}  // namespace brindlecor::builder
