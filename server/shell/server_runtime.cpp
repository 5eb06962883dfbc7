#include "server/shell/server_runtime.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QAbstractEventDispatcher>
#include <QHostAddress>
#include <QSocketNotifier>
#include <QTcpServer>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>


namespace brindlecor::server {

namespace {

constexpr int kCountdownPeriodMs = 500;
// A response still unsent this many idle periods after its connection came in has a peer that stopped
// reading.
constexpr int kStalledResponseFactor = 6;

// After its response, a connection that is still sending (a request over the read size) is read and
// discarded this long, and at most this much, so that the peer gets the response rather than a reset.
constexpr qint64 kDrainMs = 1000;
constexpr size_t kDrainBytes = 1 << 20;
// Descriptors kept free of connections for the listening socket, the UDP services, the serial port and files.
constexpr rlim_t kReservedDescriptors = 64;
// Readiness events taken from the kernel per call, and connections accepted per readiness of the listener,
// so that accepting and answering take turns under load.
constexpr int kEventBatch = 256;
constexpr int kAcceptBatch = 64;
// The readiness tag of the listening socket; a connection's tag is its slot's generation and index.
constexpr uint64_t kListenerTag = ~uint64_t{0};

// Raises the descriptor limit to its hard limit and returns how many connections fit under it.
int openConnectionBound() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return 1024 - static_cast<int>(kReservedDescriptors);
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
    }
    if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur > kMaxOpenConnections + kReservedDescriptors)
        return kMaxOpenConnections;
    return std::max(1, static_cast<int>(limit.rlim_cur) - static_cast<int>(kReservedDescriptors));
}

// Asks the epoll set for the events of descriptor fd (op: EPOLL_CTL_ADD or EPOLL_CTL_MOD), reported with tag.
bool control(int epoll, int op, int fd, uint32_t events, uint64_t tag) {
    epoll_event event{};
    event.events = events;
    event.data.u64 = tag;
    return epoll_ctl(epoll, op, fd, &event) == 0;
}

// The peer's address as dotted text.
size_t peerAddressText(const sockaddr_storage& peer, char* out, size_t size) {
    const void* raw = nullptr;
    int family = peer.ss_family;
    in_addr mapped{};
    if (family == AF_INET) {
        raw = &reinterpret_cast<const sockaddr_in*>(&peer)->sin_addr;
    } else if (family == AF_INET6) {
        const auto* v6 = &reinterpret_cast<const sockaddr_in6*>(&peer)->sin6_addr;
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

std::optional<ListenAttempt> nextListenAttempt(const ListenAttempt& failed, bool deniedPrivilege,
                                               const ServeOptions& options) {
    if (failed.loopback) return std::nullopt;
    if (deniedPrivilege && failed.port == 80 && !options.httpPortGiven)
        return ListenAttempt{false, kUnprivilegedHttpPort};
    if (options.bindAddress.empty()) return ListenAttempt{true, failed.port};
    return std::nullopt;
}

// One connection slot of the socket array, kept from one connection to the next. Its descriptor's readiness
// comes from the runtime's one epoll set, so that a wake of the event loop costs the same with thousands of
// connections open as with ten, and a request costs little more than its accept, read, write and close.
struct ServerRuntime::Slot {
    int fd = -1;
    uint32_t index = 0;       // in slots_
    uint32_t generation = 0;  // counts the connections this slot has held; stale readiness carries an old one
    uint32_t watching = 0;    // the epoll events asked for
    std::string pending;      // a short first segment kept for the next one
    std::string output;       // response bytes the socket has not taken yet
    size_t outputSent = 0;
    qint64 acceptedAt = 0;
    bool answered = false;
    bool inSlot = false;    // holds one of the kMaxConnectionSlots
    bool queued = false;    // in waiting_, its reads paused
    bool draining = false;  // answered; reading what the peer still sends until it closes
    size_t drained = 0;
    qint64 drainSince = 0;

    uint64_t tag() const { return (uint64_t{generation} << 32) | index; }
};

ServerRuntime::ServerRuntime(ServeOptions options, QObject* parent)
    : QObject(parent), options_(std::move(options)), responder_(options_.pageHeadersOn()) {
    responder_.setRequirePasswords(options_.requirePasswords);
    device_.setEffects(this);
    clock_.start();
    openBound_ = openConnectionBound();
    epoll_ = epoll_create1(EPOLL_CLOEXEC);
    if (epoll_ >= 0) {
        readiness_ = std::make_unique<QSocketNotifier>(epoll_, QSocketNotifier::Read);
        connect(readiness_.get(), &QSocketNotifier::activated, this, &ServerRuntime::serviceReadiness);
    } else {
        std::perror("brindlecorpc: epoll_create1");
    }
    countdown_.setTimerType(Qt::PreciseTimer);
    countdown_.setInterval(kCountdownPeriodMs);
    connect(&countdown_, &QTimer::timeout, this, [this] { device_.countdownTick(); });
    countdown_.start();
    idleSweep_.setInterval(std::clamp(options_.idleTimeoutMs / 4, 100, 1000));
    connect(&idleSweep_, &QTimer::timeout, this, &ServerRuntime::sweepIdle);
    idleSweep_.start();
    if (auto* dispatcher = QAbstractEventDispatcher::instance()) {
        flushBeforeWaiting_ = true;
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, [this] {
            if (visitsUnflushed_) std::fflush(stdout);
            visitsUnflushed_ = false;
        });
    }
}

ServerRuntime::~ServerRuntime() {
    device_.setEffects(nullptr);
    if (visitsUnflushed_) std::fflush(stdout);
    closeAll();
    readiness_.reset();
    if (epoll_ >= 0) ::close(epoll_);
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
    std::error_code ec;
    if (imagePath_.empty() || !std::filesystem::exists(imagePath_, ec)) return std::nullopt;
    return openImage(imagePath_);
}

ListenResult ServerRuntime::listen() {
    if (!listener_) {
        listener_ = std::make_unique<QTcpServer>();
        listener_->setListenBacklogSize(1024);
    }
    closeListener();
    const bool anyAddress = options_.bindAddress.empty();
    const QHostAddress wanted = anyAddress ? QHostAddress(QHostAddress::AnyIPv4)
                                           : QHostAddress(QString::fromStdString(options_.bindAddress));
    if (wanted.isNull()) return listening_;
    std::optional<ListenAttempt> attempt = ListenAttempt{false, options_.httpPort};
    while (attempt) {
        const QHostAddress address = attempt->loopback ? QHostAddress(QHostAddress::LocalHost) : wanted;
        if (listener_->listen(address, attempt->port)) break;
        const bool denied = listener_->serverError() == QAbstractSocket::SocketAccessError;
        listener_->close();
        attempt = nextListenAttempt(*attempt, denied, options_);
    }
    if (!attempt) return listening_;
    // The server object opens the socket; connections are accepted here, from the epoll set.
    listener_->pauseAccepting();
    const int fd = static_cast<int>(listener_->socketDescriptor());
    if (epoll_ < 0 || !control(epoll_, EPOLL_CTL_ADD, fd, EPOLLIN, kListenerTag)) {
        listener_->close();
        return listening_;
    }
    listenFd_ = fd;
    acceptWatched_ = true;

    const quint16 port = listener_->serverPort();
    listening_.host = attempt->loopback ? ListenResult::Host::Loopback
                      : anyAddress      ? ListenResult::Host::Every
                                        : ListenResult::Host::Given;
    listening_.port = port;
    listening_.movedFromPrivileged = attempt->port != options_.httpPort;
    const QString host = attempt->loopback                                    ? QStringLiteral("localhost")
                         : anyAddress                                         ? QStringLiteral("127.0.0.1")
                         : wanted.protocol() == QAbstractSocket::IPv6Protocol ? "[" + wanted.toString() + "]"
                                                                              : wanted.toString();
    address_ = "http://" + host + (port == 80 ? QString() : ":" + QString::number(port)) + "/";
    responder_.setPageHeaders(options_.pageHeadersOnPort(port));
    return listening_;
}

void ServerRuntime::closeListener() {
    if (listenFd_ >= 0) epoll_ctl(epoll_, EPOLL_CTL_DEL, listenFd_, nullptr);
    listenFd_ = -1;
    acceptWatched_ = false;
    if (listener_) listener_->close();
    address_.clear();
    listening_ = {};
}

void ServerRuntime::closeAll() {
    for (auto it = slots_.rbegin(); it != slots_.rend(); ++it) closeSlot(**it);
    closeListener();
}

uint16_t ServerRuntime::httpPort() const {
    return listener_ ? listener_->serverPort() : 0;
}

void ServerRuntime::recordVisit(const QString& ip) {
    const QByteArray text = ip.toLatin1();
    recordVisitText(text.constData(), static_cast<size_t>(text.size()));
}

QString ServerRuntime::accessCountText() const {
    if (accessCount_ == 0) return QString();
    return QString::fromLatin1(visitStamp_) + QString::number(accessCount_);
}

void ServerRuntime::recordVisitText(const char* ip, size_t length) {
    // A 32-bit count, as the device keeps it: it wraps rather than overflowing after 2^31 visits.
    accessCount_ = static_cast<int32_t>(static_cast<uint32_t>(accessCount_) + 1u);
    const std::time_t now = std::time(nullptr);
    if (now != visitStampSecond_) {
        std::tm local{};
        localtime_r(&now, &local);
        std::strftime(visitStamp_, sizeof visitStamp_, "%H:%M:%S      ", &local);
        visitStampSecond_ = now;
    }
    lastVisitor_.assign(ip, length);
    if (printVisits_) {
        char line[128];
        const int n = std::snprintf(line, sizeof line, "%s%d  %.*s\n", visitStamp_, accessCount_,
                                    static_cast<int>(std::min<size_t>(length, 64)), ip);
        std::fwrite(line, 1, static_cast<size_t>(std::min<int>(n, sizeof line - 1)), stdout);
        // Lines of one busy moment go out together, just before the event loop waits again.
        if (flushBeforeWaiting_)
            visitsUnflushed_ = true;
        else
            std::fflush(stdout);
    }
    emit visited();
}

void ServerRuntime::watchListener(bool on) {
    if (listenFd_ < 0 || on == acceptWatched_) return;
    if (control(epoll_, EPOLL_CTL_MOD, listenFd_, on ? uint32_t{EPOLLIN} : 0u, kListenerTag)) acceptWatched_ = on;
}

bool ServerRuntime::watch(Slot& slot, uint32_t events) {
    if (slot.watching == events) return true;
    if (!control(epoll_, EPOLL_CTL_MOD, slot.fd, events, slot.tag())) {
        closeSlot(slot);  // a connection the set cannot watch would never be served
        return false;
    }
    slot.watching = events;
    return true;
}

void ServerRuntime::serviceReadiness() {
    epoll_event events[kEventBatch];
    const int n = epoll_wait(epoll_, events, kEventBatch, 0);
    for (int i = 0; i < n; ++i) {
        const uint64_t tag = events[i].data.u64;
        if (tag == kListenerTag) {
            acceptPending();
            continue;
        }
        const uint32_t index = static_cast<uint32_t>(tag);
        if (index >= slots_.size()) continue;
        Slot& slot = *slots_[index];
        // Readiness of a connection closed earlier in this batch, whose slot may hold another by now.
        if (slot.fd < 0 || slot.tag() != tag) continue;
        const uint32_t ready = events[i].events;
        if ((ready & EPOLLIN) && (slot.watching & EPOLLIN)) {
            dataArrival(slot);
        } else if ((ready & EPOLLOUT) && (slot.watching & EPOLLOUT)) {
            sendPending(slot);
        } else if (ready & (EPOLLERR | EPOLLHUP)) {
            // Reported even while nothing is asked for (a request waiting for a slot): the peer is gone.
            closeSlot(slot);
        }
    }
}

void ServerRuntime::acceptPending() {
    for (int i = 0; i < kAcceptBatch; ++i) {
        if (openConnections_ >= openBound_) {
            // At the bound, the next connections wait in the kernel's listen queue until one of these closes.
            watchListener(false);
            return;
        }
        sockaddr_storage peer{};
        socklen_t length = sizeof peer;
        const int fd = accept4(listenFd_, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            // Out of descriptors or memory: accepting waits until a connection closes, or the next sweep.
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) watchListener(false);
            return;  // otherwise the queue is empty for now
        }
        char ip[INET6_ADDRSTRLEN] = {};
        adopt(fd, ip, peerAddressText(peer, ip, sizeof ip));
    }
}

void ServerRuntime::adopt(int fd, const char* ip, size_t ipLength) {
    recordVisitText(ip, ipLength);
    // Every connection is accepted at once; it takes a slot only when its request arrives.
    Slot* slot = nullptr;
    if (!freeSlots_.empty()) {
        slot = freeSlots_.back();
        freeSlots_.pop_back();
    } else {
        auto added = std::make_unique<Slot>();
        added->index = static_cast<uint32_t>(slots_.size());
        slot = added.get();
        slots_.push_back(std::move(added));
    }
    // The descriptor stays blocking: every call on it asks for MSG_DONTWAIT, which saves a system call.
    slot->fd = fd;
    ++slot->generation;
    slot->pending.clear();
    slot->output.clear();
    slot->outputSent = 0;
    slot->answered = false;
    slot->inSlot = false;
    slot->queued = false;
    slot->draining = false;
    slot->drained = 0;
    slot->acceptedAt = clock_.elapsed();
    slot->watching = EPOLLIN;
    ++openConnections_;
    if (!control(epoll_, EPOLL_CTL_ADD, fd, EPOLLIN, slot->tag())) {
        closeSlot(*slot);  // no memory left to watch it
        return;
    }
    if (openConnections_ >= openBound_) watchListener(false);
}

bool ServerRuntime::takeSlot(Slot& slot) {
    if (slot.inSlot) return true;
    if (busySlots_ >= kMaxConnectionSlots) return false;
    slot.inSlot = true;
    ++busySlots_;
    return true;
}

void ServerRuntime::releaseSlot(Slot& slot) {
    if (!slot.inSlot) return;
    slot.inSlot = false;
    --busySlots_;
    // The oldest waiting request takes the slot: reading it again brings it to dataArrival.
    while (!waiting_.empty()) {
        Slot* next = waiting_.front();
        waiting_.pop_front();
        if (next->fd < 0 || !next->queued) continue;
        next->queued = false;
        watch(*next, EPOLLIN);
        break;
    }
}

void ServerRuntime::closeSlot(Slot& slot) {
    if (slot.fd < 0) return;
    releaseSlot(slot);
    // Closing the descriptor takes it out of the epoll set too.
    ::close(slot.fd);
    slot.fd = -1;
    slot.watching = 0;
    slot.queued = false;
    slot.draining = false;
    slot.pending.clear();
    slot.output.clear();
    slot.outputSent = 0;
    freeSlots_.push_back(&slot);
    --openConnections_;
    if (openConnections_ < openBound_) watchListener(true);
}

void ServerRuntime::dataArrival(Slot& slot) {
    if (slot.fd < 0) return;
    if (slot.draining) {
        drain(slot);
        return;
    }
    if (!takeSlot(slot)) {
        // Every slot is busy: the request stays in the kernel's buffer until a slot frees.
        if (!watch(slot, 0)) return;
        slot.queued = true;
        waiting_.push_back(&slot);
        return;
    }
    // All that is there now is one text, behind a short segment kept from before. The buffer only ever
    // grows, so that a read does not first clear what it is about to overwrite.
    constexpr size_t kMaxRead = 65536;
    const size_t kept = slot.pending.size();
    if (readBuffer_.size() < kept + kMaxRead) readBuffer_.resize(kept + kMaxRead);
    std::copy(slot.pending.begin(), slot.pending.end(), readBuffer_.begin());
    slot.pending.clear();
    const ssize_t n = ::recv(slot.fd, readBuffer_.data() + kept, kMaxRead, MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
        slot.pending.assign(readBuffer_.data(), kept);
        return;
    }
    if (n <= 0) {
        // The peer has closed, or the connection failed.
        closeSlot(slot);
        return;
    }
    const std::string_view request(readBuffer_.data(), kept + static_cast<size_t>(n));
    if (beforeRequest_) beforeRequest_();
    switch (responder_.handle(device_, request)) {
        case HttpOutcome::KeepWaiting:
            slot.pending.assign(request);
            break;
        case HttpOutcome::Ignore:
            break;
        case HttpOutcome::Respond:
            slot.answered = true;
            slot.output.assign(responder_.response());
            slot.outputSent = 0;
            sendPending(slot);
            break;
        case HttpOutcome::CloseWithoutResponse:
            closeSlot(slot);
            break;
    }
}

void ServerRuntime::sendPending(Slot& slot) {
    while (slot.fd >= 0 && slot.outputSent < slot.output.size()) {
        const ssize_t n = ::send(slot.fd, slot.output.data() + slot.outputSent,
                                 slot.output.size() - slot.outputSent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            slot.outputSent += static_cast<size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // The rest goes when the socket takes more; the request's input is not read meanwhile.
            watch(slot, EPOLLOUT);
            return;
        } else if (!(n < 0 && errno == EINTR)) {
            closeSlot(slot);  // the peer is gone
            return;
        }
    }
    if (slot.fd >= 0) finishResponse(slot);
}

void ServerRuntime::finishResponse(Slot& slot) {
    // The connection ends with its one response. Input still unread (the rest of a request over the read
    // size) would make the close a reset that can destroy the response on its way: read it away first.
    char probe;
    const ssize_t more = ::recv(slot.fd, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
    if (more <= 0) {
        closeSlot(slot);
        return;
    }
    releaseSlot(slot);
    ::shutdown(slot.fd, SHUT_WR);
    slot.draining = true;
    slot.drained = 0;
    slot.drainSince = clock_.elapsed();
    drain(slot);
    if (slot.fd >= 0) watch(slot, EPOLLIN);
}

void ServerRuntime::drain(Slot& slot) {
    char discard[16384];
    for (;;) {
        const ssize_t n = ::recv(slot.fd, discard, sizeof discard, MSG_DONTWAIT);
        if (n > 0) {
            slot.drained += static_cast<size_t>(n);
            if (slot.drained > kDrainBytes) break;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;  // more may come: wait for it
        break;  // the peer has closed, or the connection failed
    }
    closeSlot(slot);
}

void ServerRuntime::sweepIdle() {
    const qint64 now = clock_.elapsed();
    // Accepting paused for want of descriptors or memory is tried again.
    if (openConnections_ < openBound_) watchListener(true);
    for (auto& s : slots_) {
        Slot& slot = *s;
        if (slot.fd < 0 || slot.queued) continue;  // a request waiting for a slot is not idle
        if (slot.draining) {
            if (now - slot.drainSince >= kDrainMs) closeSlot(slot);
            continue;
        }
        const qint64 age = now - slot.acceptedAt;
        const qint64 limit = slot.answered ? qint64(options_.idleTimeoutMs) * kStalledResponseFactor
                                           : qint64(options_.idleTimeoutMs);
        if (age >= limit) closeSlot(slot);
    }
}

}  // namespace brindlecor::server
