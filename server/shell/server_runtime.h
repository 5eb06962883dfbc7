// The emulated device at run time: the device memory, the HTTP listener with its array of up to 255
// connection slots, the last visitor and access count, and the 500 ms countdown. The UDP services, the serial
// port and the window attach to it; their device effects are registered here and called in order.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "server/emulation/device.h"
#include "server/emulation/http_responder.h"
#include "server/shell/serve_options.h"

class QSocketNotifier;
class QTcpServer;

namespace brindlecor::server {

// The most requests served at once: a connection takes one of these slots when its request arrives, and a
// request that finds them all busy waits for one.
constexpr int kMaxConnectionSlots = 255;
// The most connections held open at once (slots or not), kept under the descriptor limit; beyond them new
// connections wait in the kernel's listen queue until one closes.
constexpr int kMaxOpenConnections = 4096;

// The port listened on instead when the device's port 80 was not asked for and needs privileges we lack.
constexpr uint16_t kUnprivilegedHttpPort = 8080;

// One try of the listen sequence: on the configured address (every interface, or the one given), or on the
// loopback address.
struct ListenAttempt {
    bool loopback = false;
    uint16_t port = 0;
    bool operator==(const ListenAttempt&) const = default;
};

// The try after one that failed (deniedPrivilege: for lack of privilege), or nothing when the sequence gives
// up. The configured port on the configured address comes first; port 80 there, refused for lack of
// privilege and not asked for, is followed by 8080 there; then, when the configured address is every
// interface, the loopback address on the port tried last.
std::optional<ListenAttempt> nextListenAttempt(const ListenAttempt& failed, bool deniedPrivilege,
                                               const ServeOptions& options);

// Where the HTTP socket listens after the listen sequence.
struct ListenResult {
    enum class Host { None, Every, Given, Loopback };
    Host host = Host::None;  // None: no address could be listened on
    uint16_t port = 0;
    bool movedFromPrivileged = false;  // on kUnprivilegedHttpPort because port 80 was refused
    explicit operator bool() const { return host != Host::None; }
};

class ServerRuntime : public QObject, public DeviceEffects {
    Q_OBJECT

  public:
    explicit ServerRuntime(ServeOptions options, QObject* parent = nullptr);
    ~ServerRuntime() override;

    Device& device() { return device_; }
    const ServeOptions& options() const { return options_; }

    // Effects of RAM writes and resets go to every registered object, in the order of registration.
    void addEffects(DeviceEffects* effects);
    void removeEffects(DeviceEffects* effects);

    // Reads the image file into flash and resets the device; the error text when the file is missing,
    // unreadable or too big (the device is then unchanged).
    std::optional<std::string> openImage(const std::string& path);
    // Reads the last opened image again and resets; nothing happens without one, or when its file is gone.
    std::optional<std::string> reload();
    const std::string& imagePath() const { return imagePath_; }

    // Starts listening for HTTP through the listen sequence (nextListenAttempt). Page headers in auto mode
    // follow the port it ends on.
    ListenResult listen();
    const ListenResult& listening() const { return listening_; }
    void closeListener();
    // Closes the listening socket and every connection slot, from the highest down.
    void closeAll();
    // The address to open in a browser, e.g. "http://127.0.0.1:8080/"; empty when not listening.
    QString address() const { return address_; }
    uint16_t httpPort() const;

    // A visit from this address (a connection request, or a datagram on the download or name port): updates
    // the last visitor and the access count and prints the visit line when printing is on.
    void recordVisit(const QString& ip);
    QString lastVisitor() const { return QString::fromLatin1(lastVisitor_); }
    int32_t accessCount() const { return accessCount_; }
    // "hh:mm:ss      N" for the latest visit.
    QString accessCountText() const;
    // One line per visit on stdout: the access count text, two spaces, the last visitor.
    void setPrintVisits(bool on) { printVisits_ = on; }

    // Called before each request is handled: the event loop serves ready sockets in no particular order, so
    // what arrived before the request on another socket (RAM write records) is taken first.
    void setBeforeRequest(std::function<void()> before) { beforeRequest_ = std::move(before); }

    int connectionSlotCount() const { return busySlots_; }
    int openConnectionCount() const { return openConnections_; }

    // DeviceEffects: forwarded to the registered objects.
    void serialOutput(uint8_t byte) override;
    void sendOutgoingDatagram() override;
    void resetSerialPort() override;

  signals:
    void visited();

  private:
    struct Slot;

    void serviceReadiness();
    void acceptPending();
    void adopt(int fd, const char* ip, size_t ipLength);
    void watchListener(bool on);
    bool watch(Slot& slot, uint32_t events);  // false: the set refused, and the connection is closed
    bool takeSlot(Slot& slot);
    void releaseSlot(Slot& slot);
    void dataArrival(Slot& slot);
    void sendPending(Slot& slot);
    void finishResponse(Slot& slot);
    void drain(Slot& slot);
    void closeSlot(Slot& slot);
    void sweepIdle();
    void recordVisitText(const char* ip, size_t length);

    ServeOptions options_;
    Device device_;
    HttpResponder responder_;
    std::vector<DeviceEffects*> effects_;
    std::string imagePath_;

    std::unique_ptr<QTcpServer> listener_;
    std::vector<std::unique_ptr<Slot>> slots_;  // every open connection's state, kept for reuse
    std::vector<Slot*> freeSlots_;              // those without a connection now
    int epoll_ = -1;                            // the readiness of the listener and every connection
    std::unique_ptr<QSocketNotifier> readiness_;
    int listenFd_ = -1;
    bool acceptWatched_ = false;
    std::deque<Slot*> waiting_;  // connections whose request arrived while every slot was busy, oldest first
    int busySlots_ = 0;
    int openConnections_ = 0;
    int openBound_ = kMaxOpenConnections;
    std::function<void()> beforeRequest_;
    std::string readBuffer_;
    QString address_;
    ListenResult listening_;

    std::string lastVisitor_;
    char visitStamp_[16] = {};  // "hh:mm:ss      " of the latest visit
    int64_t visitStampSecond_ = -1;
    int32_t accessCount_ = 0;
    bool printVisits_ = true;
    bool flushBeforeWaiting_ = false;
    bool visitsUnflushed_ = false;

    QTimer countdown_;
    QTimer idleSweep_;
    QElapsedTimer clock_;
};

}  // namespace brindlecor::server
