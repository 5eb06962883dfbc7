// The emulated device's four UDP endpoints on real sockets: download receiver, name query, RAM write
// service and the outgoing datagram. Erase waits run on a timer, so HTTP, serial bytes and further
// datagrams are served while an erase settles.
#pragma once

#include <QObject>
#include <QUdpSocket>
#include <optional>
#include <string>

#include "server/emulation/device.h"
#include "server/emulation/udp_services.h"

namespace brindlecor::server {

class ServerRuntime;

class UdpRuntime : public QObject, public DeviceEffects {
    Q_OBJECT

  public:
    // Registers itself with the runtime for the outgoing datagram register.
    explicit UdpRuntime(ServerRuntime& runtime, QObject* parent = nullptr);
    ~UdpRuntime() override;

    // Binds the ports of the runtime's options on its bind address (every IPv4 interface when empty).
    // Every port that can be bound is bound; the error names the others.
    std::optional<std::string> bind();
    void close();

    // Sends the datagram RAM 0x2D6-0x2DF describes from the outgoing port; silently nothing when the
    // description is unusable. A RAM write to 0xFF1E and serial command 0x50 both end up here.
    void sendOutgoingDatagram() override;

    // Applies the RAM write records already waiting on the RAM port, so that a request that arrived after
    // them sees their values. The port is looked at once per wake of the event loop: every request handled
    // after a wake was there when the loop woke, and so was every record sent before it.
    void takeWaitingRamWrites();

  private:
    void downloadArrival();
    void nameArrival();
    void ramArrival();
    void finishDownload(DownloadStep step, const QHostAddress& sender, quint16 senderPort);

    ServerRuntime& runtime_;
    QUdpSocket download_;
    QUdpSocket name_;
    QUdpSocket ram_;
    QUdpSocket outgoing_;
    size_t eraseWaits_ = 0;  // erase replies held back at this moment
    bool oncePerWake_ = false;  // the loop's wakes are known; otherwise the port is looked at every time
    bool ramLookedSinceWake_ = false;
};

}  // namespace brindlecor::server
