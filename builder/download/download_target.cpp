#include "builder/download/download_target.h"

#include "common/download_protocol.h"
#include "common/ip_text.h"
#include "common/settings_keys.h"
#include "common/text.h"

namespace brindlecor::builder {

int parsePort(std::string_view text) {
    if (text.empty() || text.size() > 5) return 0;
    int port = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return 0;
        port = port * 10 + (c - '0');
    }
    return port >= 1 && port <= 65535 ? port : 0;
}

DownloadTarget loadDownloadTarget(const SettingsStore& settings) {
    DownloadTarget target;
    target.address = addressPart(brindlecor::settings::value(settings, brindlecor::settings::kFirstIpEntry));
    if (target.address.empty()) target.address = std::string(kDefaultDownloadAddress);
    const int port =
        parsePort(trimSpaces(brindlecor::settings::value(settings, brindlecor::settings::kDownloadPort)));
    target.port = port ? port : download::kDownloadPort;
    return target;
}

}  // namespace brindlecor::builder
