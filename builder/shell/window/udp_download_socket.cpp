#include "builder/shell/window/udp_download_socket.h"

#include <QHostInfo>
#include <QNetworkDatagram>

namespace brindlecor::builder {

UdpDownloadSocket::UdpDownloadSocket(Receiver receiver, QObject* parent)
    : QObject(parent), receiver_(std::move(receiver)) {
    connect(&socket_, &QUdpSocket::readyRead, this, &UdpDownloadSocket::readPending);
}

std::optional<std::string> UdpDownloadSocket::bind(int localPort) {
    if (socket_.state() == QAbstractSocket::BoundState) socket_.close();
    if (socket_.bind(QHostAddress::AnyIPv4, static_cast<quint16>(localPort))) return std::nullopt;
    const std::string error = socket_.errorString().toStdString();
    socket_.close();
    return error;
}

bool UdpDownloadSocket::bound() const {
    return socket_.state() == QAbstractSocket::BoundState;
}

bool UdpDownloadSocket::send(const std::string& address, int port, std::span<const uint8_t> bytes) {
    if (!bound()) return false;
    QHostAddress to(QString::fromLatin1(address.data(), static_cast<qsizetype>(address.size())));
    if (to.isNull()) {
        // A host name: looked up once per name, so that a download does not wait on it for every page.
        if (lookedUpName_ != address) {
            lookedUpAddress_.clear();
            const QHostInfo info = QHostInfo::fromName(QString::fromLatin1(address.c_str()));
            for (const QHostAddress& candidate : info.addresses()) {
                if (candidate.protocol() == QAbstractSocket::IPv4Protocol) {
                    lookedUpAddress_ = candidate;
                    break;
                }
            }
            lookedUpName_ = address;
        }
        to = lookedUpAddress_;
        if (to.isNull()) return false;
    }
    const qint64 written =
        socket_.writeDatagram(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()),
                              to, static_cast<quint16>(port));
    return written == static_cast<qint64>(bytes.size());
}

bool UdpDownloadSocket::isFrom(const DatagramSource& from, const std::string& address, int port) const {
    if (DatagramPort::isFrom(from, address, port)) return true;
    return from.port == port && !lookedUpAddress_.isNull() && lookedUpName_ == address &&
           from.address == lookedUpAddress_.toString().toStdString();
}

void UdpDownloadSocket::readPending() {
    while (socket_.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = socket_.receiveDatagram();
        const QByteArray data = datagram.data();
        // Dotted IPv4 even when the socket reports the sender as an IPv4-mapped IPv6 address.
        const DatagramSource from{QHostAddress(datagram.senderAddress().toIPv4Address()).toString().toStdString(),
                                  datagram.senderPort()};
        if (receiver_)
            receiver_(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(data.constData()),
                                               static_cast<size_t>(data.size())),
                      from);
    }
}

}  // namespace brindlecor::builder
