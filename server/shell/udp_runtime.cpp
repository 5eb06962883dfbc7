#include "server/shell/udp_runtime.h"

#include <QAbstractEventDispatcher>
#include <QNetworkDatagram>
#include <QTimer>

#include "common/download_protocol.h"
#include "server/shell/server_runtime.h"

namespace brindlecor::server {

namespace {

std::span<const uint8_t> bytesOf(const QByteArray& data) {
    return {reinterpret_cast<const uint8_t*>(data.constData()), static_cast<size_t>(data.size())};
}

QByteArray arrayOf(const std::vector<uint8_t>& bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

// Dotted IPv4 text for the visitor display, also when the socket reports a mapped address.
QString visitorText(const QHostAddress& address) {
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4).toString() : address.toString();
}

}  // namespace

UdpRuntime::UdpRuntime(ServerRuntime& runtime, QObject* parent) : QObject(parent), runtime_(runtime) {
    connect(&download_, &QUdpSocket::readyRead, this, &UdpRuntime::downloadArrival);
    connect(&name_, &QUdpSocket::readyRead, this, &UdpRuntime::nameArrival);
    connect(&ram_, &QUdpSocket::readyRead, this, &UdpRuntime::ramArrival);
    // Nothing is expected on the outgoing port; drain it so the socket buffer never fills.
    connect(&outgoing_, &QUdpSocket::readyRead, this, [this] {
        while (outgoing_.hasPendingDatagrams()) outgoing_.receiveDatagram(0);
    });
    runtime_.addEffects(this);
    // One of the two comes before each wait for events, whichever dispatcher runs the loop.
    if (auto* dispatcher = QAbstractEventDispatcher::instance()) {
        const auto wake = [this] { ramLookedSinceWake_ = false; };
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, wake);
        connect(dispatcher, &QAbstractEventDispatcher::awake, this, wake);
        oncePerWake_ = true;
    }
}

UdpRuntime::~UdpRuntime() {
    runtime_.removeEffects(this);
    close();
}

std::optional<std::string> UdpRuntime::bind() {
    close();
    const ServeOptions& options = runtime_.options();
    const QHostAddress address = options.bindAddress.empty()
                                     ? QHostAddress(QHostAddress::AnyIPv4)
                                     : QHostAddress(QString::fromStdString(options.bindAddress));
    std::string failed;
    const std::pair<QUdpSocket*, uint16_t> sockets[] = {
        {&download_, options.downloadPort},
        {&name_, options.namePort},
        {&ram_, options.ramPort},
        {&outgoing_, options.datagramPort},
    };
    for (auto [socket, port] : sockets) {
        if (socket->bind(address, port)) continue;
        if (!failed.empty()) failed += "; ";
        failed += "UDP port " + std::to_string(port) + ": " + socket->errorString().toStdString();
    }
    if (failed.empty()) return std::nullopt;
    return "cannot bind " + failed;
}

void UdpRuntime::close() {
    download_.close();
    name_.close();
    ram_.close();
    outgoing_.close();
}

void UdpRuntime::downloadArrival() {
    while (download_.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = download_.receiveDatagram();
        runtime_.recordVisit(visitorText(datagram.senderAddress()));
        const QByteArray data = datagram.data();
        if (eraseWaits_ >= kMaxEraseWaits && !data.isEmpty() &&
            static_cast<uint8_t>(data[0]) == download::CMD_ERASE)
            continue;
        finishDownload(receiveDownload(runtime_.device(), bytesOf(data)), datagram.senderAddress(),
                       static_cast<quint16>(datagram.senderPort()));
    }
}

void UdpRuntime::finishDownload(DownloadStep step, const QHostAddress& sender, quint16 senderPort) {
    switch (step.kind) {
        case DownloadStep::Kind::Drop:
            return;
        case DownloadStep::Kind::Reply:
            download_.writeDatagram(arrayOf(step.reply), sender, senderPort);
            return;
        case DownloadStep::Kind::Wait: {
            // The serve option stands in for the device's own wait, so that scripts need not sit it out.
            const int delay = runtime_.options().eraseDelayMs;
            if (delay == 0) {
                finishDownload(continueDownload(runtime_.device(), std::move(step.continuation)), sender,
                               senderPort);
                return;
            }
            // The erase wait must not stretch: three of them are most of a whole download's time.
            ++eraseWaits_;
            QTimer::singleShot(delay, Qt::PreciseTimer, this,
                               [this, continuation = std::move(step.continuation), sender, senderPort] {
                                   --eraseWaits_;
                                   finishDownload(continueDownload(runtime_.device(), continuation), sender,
                                                  senderPort);
                               });
            return;
        }
    }
}

void UdpRuntime::nameArrival() {
    while (name_.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = name_.receiveDatagram();
        name_.writeDatagram(arrayOf(nameQueryReply(runtime_.device())), datagram.senderAddress(),
                            static_cast<quint16>(datagram.senderPort()));
        runtime_.recordVisit(visitorText(datagram.senderAddress()));
    }
}

void UdpRuntime::takeWaitingRamWrites() {
    if (oncePerWake_ && ramLookedSinceWake_) return;
    ramLookedSinceWake_ = true;
    if (ram_.state() == QAbstractSocket::BoundState) ramArrival();
}

void UdpRuntime::ramArrival() {
    while (ram_.hasPendingDatagrams()) {
        const QByteArray data = ram_.receiveDatagram().data();
        applyRamWrites(runtime_.device(), bytesOf(data));
    }
}

void UdpRuntime::sendOutgoingDatagram() {
    const auto out = outgoingDatagram(runtime_.device());
    if (!out) return;
    const QHostAddress to(QString::fromStdString(out->address));
    if (to.isNull() || out->port == 0) return;
    outgoing_.writeDatagram(arrayOf(out->bytes), to, out->port);
}

}  // namespace brindlecor::server
