// The one socket the download talks through: the window fills it with its UDP socket, the command line with
// a plain POSIX socket, tests with a recorder. Replies come back through DownloadSender::onReply.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace brindlecor::builder {

class DatagramPort {
  public:
    virtual ~DatagramPort() = default;
    // Sends one datagram from the port's local binding; false when it could not be sent. A failed send
    // is not retried: the request then ends by its time-out like a lost one.
    virtual bool send(const std::string& address, int port, std::span<const uint8_t> bytes) = 0;
};

}  // namespace brindlecor::builder
