// The one socket the download talks through: the window fills it with its UDP socket, the command line with
// a plain POSIX socket, tests with a recorder. Replies come back through DownloadSender::onReply, each with
// the address and port it came from.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace brindlecor::builder {

// Where a received datagram came from: the IPv4 address in dotted form ("127.0.0.1") and the UDP port.
struct DatagramSource {
    std::string address;
    int port = 0;
};

// Whether two address texts name the same IPv4 address: equal texts, or the same four numbers in dotted
// form ("10.0.0.007" is "10.0.0.7").
bool sameIPv4Address(std::string_view a, std::string_view b);

class DatagramPort {
  public:
    virtual ~DatagramPort() = default;
    // Sends one datagram from the port's local binding; false when it could not be sent. A failed send
    // is not retried: the request then ends by its time-out like a lost one.
    virtual bool send(const std::string& address, int port, std::span<const uint8_t> bytes) = 0;

    // Whether a datagram from `from` comes from where send() delivers datagrams for address and port.
    // A port that looks host names up overrides this, so that the name's address counts too.
    virtual bool isFrom(const DatagramSource& from, const std::string& address, int port) const {
        return from.port == port && sameIPv4Address(from.address, address);
    }
};

}  // namespace brindlecor::builder
