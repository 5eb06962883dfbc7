// The window's download socket: a QUdpSocket bound to the builder's local port, sending to the download
// address (a dotted address, or a host name looked up once) and handing every datagram it receives on,
// with where it came from.
#pragma once

#include <QHostAddress>
#include <QUdpSocket>
#include <functional>
#include <span>

#include "builder/shell/download_socket.h"

namespace brindlecor::builder {

class UdpDownloadSocket : public QObject, public DownloadSocket {
    Q_OBJECT

  public:
    using Receiver = std::function<void(std::span<const uint8_t>, const DatagramSource&)>;

    explicit UdpDownloadSocket(Receiver receiver, QObject* parent = nullptr);

    std::optional<std::string> bind(int localPort) override;
    bool bound() const override;
    bool send(const std::string& address, int port, std::span<const uint8_t> bytes) override;
    // A reply to a host name counts when it comes from the address the name was looked up as.
    bool isFrom(const DatagramSource& from, const std::string& address, int port) const override;
    quint16 localPort() const { return socket_.localPort(); }

  private:
    void readPending();

    QUdpSocket socket_;
    Receiver receiver_;
    std::string lookedUpName_;
    QHostAddress lookedUpAddress_;
};

}  // namespace brindlecor::builder
