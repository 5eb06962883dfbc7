#include "server/shell/server_runtime.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QHostAddress>
#include <QTcpSocket>
#include <algorithm>
#include <cstdio>
#include <ctime>

#include "server/shell/http_listener.h"

namespace brindlecor::server {

namespace {

constexpr int kCountdownPeriodMs = 500;
// A response still unsent this many idle periods after its connection came in has a peer that stopped
// reading.
constexpr int kStalledResponseFactor = 6;

// The peer's address as dotted text, read from the descriptor before any slot takes it.
size_t peerAddressText(qintptr descriptor, char* out, size_t size) {
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    if (getpeername(static_cast<int>(descriptor), reinterpret_cast<sockaddr*>(&peer), &length) != 0) return 0;
    const void* raw = nullptr;
    int family = peer.ss_family;
    in_addr mapped{};
    if (family == AF_INET) {
        raw = &reinterpret_cast<sockaddr_in*>(&peer)->sin_addr;
    } else if (family == AF_INET6) {
        const auto* v6 = &reinterpret_cast<sockaddr_in6*>(&peer)->sin6_addr;
        if (IN6_IS_ADDR_V4MAPPED(v6)) {
            std::copy_n(v6->s6_addr + 12, 4, reinterpret_cast<uint8_t*>(&mapped));
            raw = &mapped;
            family = AF_INET;
        } else {
            raw = v6;
        }
    }
    if (!raw || !inet_ntop(family, raw, out, static_cast<socklen_t>(size))) return 0;
    return std::char_traits<char>::length(out);
}

}  // namespace

struct ServerRuntime::Slot {
    QTcpSocket socket;
    std::string pending;  // a short first segment kept for the next one
    qint64 acceptedAt = 0;
    bool answered = false;
};

ServerRuntime::ServerRuntime(ServeOptions options, QObject* parent)
    : QObject(parent), options_(std::move(options)), responder_(options_.pageHeadersOn()) {
    device_.setEffects(this);
    clock_.start();
    addSlot();
    countdown_.setTimerType(Qt::PreciseTimer);
    countdown_.setInterval(kCountdownPeriodMs);
    connect(&countdown_, &QTimer::timeout, this, [this] { device_.countdownTick(); });
    countdown_.start();
    idleSweep_.setInterval(std::clamp(options_.idleTimeoutMs / 4, 100, 1000));
    connect(&idleSweep_, &QTimer::timeout, this, &ServerRuntime::sweepIdle);
    idleSweep_.start();
}

ServerRuntime::~ServerRuntime() {
    device_.setEffects(nullptr);
    closeListener();
    for (auto it = slots_.rbegin(); it != slots_.rend(); ++it) (*it)->socket.abort();
}

void ServerRuntime::addEffects(DeviceEffects* effects) {
    if (effects && std::find(effects_.begin(), effects_.end(), effects) == effects_.end())
        effects_.push_back(effects);
}

void ServerRuntime::removeEffects(DeviceEffects* effects) {
    effects_.erase(std::remove(effects_.begin(), effects_.end(), effects), effects_.end());
}

void ServerRuntime::serialOutput(uint8_t byte) {
    for (DeviceEffects* e : effects_) e->serialOutput(byte);
}

void ServerRuntime::sendOutgoingDatagram() {
    for (DeviceEffects* e : effects_) e->sendOutgoingDatagram();
}

void ServerRuntime::resetSerialPort() {
    for (DeviceEffects* e : effects_) e->resetSerialPort();
}

std::optional<std::string> ServerRuntime::openImage(const std::string& path) {
    std::string error;
    const auto bytes = Device::readImageFile(path, error);
    if (!bytes) return error;
    if (auto refused = device_.loadImage(*bytes)) return *refused + ": " + path;
    imagePath_ = path;
    return std::nullopt;
}

std::optional<std::string> ServerRuntime::reload() {
    if (imagePath_.empty()) return std::nullopt;
    return openImage(imagePath_);
}

bool ServerRuntime::listen() {
    if (!listener_) {
        listener_ = std::make_unique<HttpListener>(*this);
        listener_->setListenBacklogSize(1024);
    }
    listener_->close();
    address_.clear();
    const bool anyAddress = options_.bindAddress.empty();
    const QHostAddress wanted = anyAddress ? QHostAddress(QHostAddress::AnyIPv4)
                                           : QHostAddress(QString::fromStdString(options_.bindAddress));
    QString host;
    if (!wanted.isNull() && listener_->listen(wanted, options_.httpPort)) {
        host = anyAddress                                           ? QStringLiteral("127.0.0.1")
               : wanted.protocol() == QAbstractSocket::IPv6Protocol ? "[" + wanted.toString() + "]"
                                                                    : wanted.toString();
    } else if (anyAddress && listener_->listen(QHostAddress::LocalHost, options_.httpPort)) {
        host = QStringLiteral("localhost");
    } else {
        return false;
    }
    const quint16 port = listener_->serverPort();
    address_ = "http://" + host + (port == 80 ? QString() : ":" + QString::number(port)) + "/";
    return true;
}

void ServerRuntime::closeListener() {
    if (listener_) listener_->close();
    address_.clear();
}

uint16_t ServerRuntime::httpPort() const {
    return listener_ ? listener_->serverPort() : 0;
}

void ServerRuntime::recordVisit(const QString& ip) {
    const QByteArray text = ip.toLatin1();
    recordVisitText(text.constData(), static_cast<size_t>(text.size()));
}

void ServerRuntime::recordVisitText(const char* ip, size_t length) {
    ++accessCount_;
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char line[96];
    const size_t stamp = std::strftime(line, sizeof line, "%H:%M:%S      ", &local);
    const int count = std::snprintf(line + stamp, sizeof line - stamp, "%d", accessCount_);
    const size_t countEnd = stamp + static_cast<size_t>(count);
    lastVisitor_ = QString::fromLatin1(ip, static_cast<qsizetype>(length));
    accessCountText_ = QString::fromLatin1(line, static_cast<qsizetype>(countEnd));
    if (printVisits_) {
        std::fwrite(line, 1, countEnd, stdout);
        std::fwrite("  ", 1, 2, stdout);
        std::fwrite(ip, 1, length, stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }
    emit visited();
}

ServerRuntime::Slot& ServerRuntime::addSlot() {
    auto slot = std::make_unique<Slot>();
    Slot* s = slot.get();
    connect(&s->socket, &QTcpSocket::readyRead, this, [this, s] { dataArrival(*s); });
    connect(&s->socket, &QTcpSocket::errorOccurred, this, [s](QAbstractSocket::SocketError error) {
        // The peer closing is handled by the socket itself; anything else ends the connection.
        if (error != QAbstractSocket::RemoteHostClosedError) s->socket.abort();
    });
    slots_.push_back(std::move(slot));
    return *s;
}

void ServerRuntime::connectionRequest(qintptr descriptor) {
    char ip[INET6_ADDRSTRLEN] = {};
    recordVisitText(ip, peerAddressText(descriptor, ip, sizeof ip));
    const size_t n = slots_.size();
    for (size_t i = 0; i < n; ++i) {
        Slot& slot = *slots_[i];
        const auto state = slot.socket.state();
        // A slot still sending a response stays busy until the bytes are out.
        if (state == QAbstractSocket::UnconnectedState ||
            (state == QAbstractSocket::ClosingState && slot.socket.bytesToWrite() == 0)) {
            acceptOn(slot, descriptor);
            return;
        }
    }
    if (n < static_cast<size_t>(kMaxConnectionSlots)) {
        acceptOn(addSlot(), descriptor);
        return;
    }
    ::close(static_cast<int>(descriptor));
}

void ServerRuntime::acceptOn(Slot& slot, qintptr descriptor) {
    if (slot.socket.state() != QAbstractSocket::UnconnectedState) slot.socket.abort();
    slot.pending.clear();
    slot.answered = false;
    slot.acceptedAt = clock_.elapsed();
    if (!slot.socket.setSocketDescriptor(descriptor)) ::close(static_cast<int>(descriptor));
}

void ServerRuntime::dataArrival(Slot& slot) {
    const qint64 available = slot.socket.bytesAvailable();
    if (available <= 0 || slot.answered) return;
    const size_t kept = slot.pending.size();
    readBuffer_.assign(slot.pending);
    readBuffer_.resize(kept + static_cast<size_t>(available));
    const qint64 got = slot.socket.read(readBuffer_.data() + kept, available);
    readBuffer_.resize(kept + static_cast<size_t>(std::max<qint64>(got, 0)));
    slot.pending.clear();
    switch (responder_.handle(device_, readBuffer_)) {
        case HttpOutcome::KeepWaiting:
            slot.pending = readBuffer_;
            break;
        case HttpOutcome::Ignore:
            break;
        case HttpOutcome::Respond: {
            const std::string& response = responder_.response();
            slot.answered = true;
            slot.socket.write(response.data(), static_cast<qint64>(response.size()));
            slot.socket.flush();
            slot.socket.disconnectFromHost();
            break;
        }
        case HttpOutcome::CloseWithoutResponse:
            slot.answered = true;
            slot.socket.disconnectFromHost();
            break;
    }
}

void ServerRuntime::sweepIdle() {
    const qint64 now = clock_.elapsed();
    for (auto& s : slots_) {
        Slot& slot = *s;
        if (slot.socket.state() == QAbstractSocket::UnconnectedState) continue;
        const qint64 age = now - slot.acceptedAt;
        const qint64 limit = slot.answered ? qint64(options_.idleTimeoutMs) * kStalledResponseFactor
                                           : qint64(options_.idleTimeoutMs);
        if (age >= limit) slot.socket.abort();
    }
}

}  // namespace brindlecor::server
