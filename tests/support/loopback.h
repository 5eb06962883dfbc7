// Loopback sockets of a test: a TCP exchange with a server on 127.0.0.1 (an HTTP GET is one), and a UDP peer
// on an ephemeral port that sends datagrams and receives them with a time-out.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace brindlecor::testing {

// A TCP connection to 127.0.0.1:port with Nagle's delay off, so that each send leaves as its own segment;
// -1 when nothing listens there.
int connectTo(int port);

// Sends all of text; false when the connection would not take it.
bool sendAll(int fd, const std::string& text);

// Everything the server sends until it closes; `closed` is false when it still holds the connection open
// after timeoutMs.
std::string readToClose(int fd, bool& closed, int timeoutMs = 10000);

struct Exchange {
    bool connected = false;
    bool sent = false;    // every segment went out
    bool closed = false;  // the server closed the connection within the time-out
    std::string response;
};

// Sends the segments one by one, with a pause between them so that they arrive apart, and reads the answer
// until the server closes.
Exchange exchange(int port, const std::vector<std::string>& segments);

// The whole response to "GET target HTTP/1.0"; empty when nothing listens on the port.
std::string httpGet(int port, const std::string& target);

// A UDP socket of the test on an ephemeral port of 127.0.0.1.
class UdpPeer {
  public:
    UdpPeer();
    ~UdpPeer();
    UdpPeer(const UdpPeer&) = delete;
    UdpPeer& operator=(const UdpPeer&) = delete;

    int port() const { return port_; }
    // Sends one datagram to 127.0.0.1:port; false when it could not be sent.
    bool sendTo(int port, const std::string& bytes) const;
    // The next datagram within timeoutMs, with the port it came from; nothing after the time-out.
    std::optional<std::string> receive(int timeoutMs = 10000, int* fromPort = nullptr) const;

  private:
    int fd_ = -1;
    int port_ = 0;
};

}  // namespace brindlecor::testing
