#include "server/shell/device_server.h"

namespace brindlecor::server {

DeviceServer::DeviceServer(ServeOptions options)
    : runtime_(std::move(options)), serial_(runtime_.device()), udp_(runtime_) {
    // The serial line's effects come first, then the UDP services'.
    runtime_.removeEffects(&udp_);
    runtime_.addEffects(&serial_.effects());
    runtime_.addEffects(&udp_);
    runtime_.setBeforeRequest([this] { udp_.takeWaitingRamWrites(); });
}

DeviceServer::~DeviceServer() {
    runtime_.setBeforeRequest({});
    runtime_.removeEffects(&serial_.effects());
}

DeviceServer::Opened DeviceServer::open(const std::string& path) {
    Opened opened;
    // A file that cannot be loaded leaves the device and its sockets as they were.
    if (auto error = runtime_.openImage(path)) {
        opened.outcome = Opened::Outcome::ImageRefused;
        opened.imageError = *error;
        return opened;
    }
    runtime_.closeListener();
    udp_.close();
    opened.listen = runtime_.listen();
    if (!opened.listen) {
        opened.outcome = Opened::Outcome::CannotListen;
        return opened;
    }
    if (auto error = udp_.bind()) opened.udpError = *error;
    return opened;
}

void DeviceServer::close() {
    runtime_.closeAll();
    udp_.close();
}

}  // namespace brindlecor::server
