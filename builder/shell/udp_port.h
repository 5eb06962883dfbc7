// The download socket of the command line: a plain POSIX UDP socket bound to the local download port, and
// the poll() loop that feeds a running download its replies and the wall clock.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "builder/download/datagram_port.h"
#include "builder/download/download_sender.h"

namespace brindlecor::builder {

class UdpPort : public DatagramPort {
  public:
    UdpPort() = default;
    ~UdpPort() override;
    UdpPort(const UdpPort&) = delete;
    UdpPort& operator=(const UdpPort&) = delete;

    // Binds localPort on every IPv4 interface (0: any free port); the error text when it cannot.
    std::optional<std::string> open(int localPort);
    // The bound local port, 0 when closed.
    int localPort() const;

    // Sends to a dotted address or a host name (resolved once and remembered).
    bool send(const std::string& address, int port, std::span<const uint8_t> bytes) override;
    // A host name counts by the address it was resolved to.
    bool isFrom(const DatagramSource& from, const std::string& address, int port) const override;

    using Sink = std::function<void(std::span<const uint8_t>, const DatagramSource&)>;
    // Hands every datagram waiting on the socket to sink with where it came from, without blocking.
    void drain(const Sink& sink);
    int fd() const { return fd_; }

  private:
    int fd_ = -1;
    std::string resolvedName_;
    uint32_t resolvedAddress_ = 0;  // network order
    bool resolved_ = false;
    std::vector<uint8_t> buffer_;  // the largest datagram, allocated once
};

// The IPv4 address of a dotted address or host name in network order; nullopt when it has none.
std::optional<uint32_t> resolveIPv4(const std::string& address);

// The dotted text of an IPv4 address in network order ("127.0.0.1").
std::string dottedAddress(uint32_t networkOrder);

// Seconds of the wall clock.
int64_t wallClockSeconds();

// Runs until the download has ended: replies go to onReply the moment they arrive, and the clock is
// ticked at least once a second.
void runDownload(UdpPort& port, DownloadSender& sender);

}  // namespace brindlecor::builder
