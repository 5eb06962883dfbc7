#include "builder/shell/udp_port.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <vector>

namespace brindlecor::builder {

UdpPort::~UdpPort() {
    if (fd_ >= 0) ::close(fd_);
}

std::optional<std::string> UdpPort::open(int localPort) {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return std::string("cannot create a UDP socket: ") + std::strerror(errno);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(static_cast<uint16_t>(localPort));
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        const std::string error =
            "cannot bind UDP port " + std::to_string(localPort) + ": " + std::strerror(errno);
        ::close(fd_);
        fd_ = -1;
        return error;
    }
    return std::nullopt;
}

int UdpPort::localPort() const {
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (fd_ < 0 || getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length) != 0) return 0;
    return ntohs(local.sin_port);
}

std::optional<uint32_t> resolveIPv4(const std::string& address) {
    in_addr numeric{};
    if (inet_pton(AF_INET, address.c_str(), &numeric) == 1) return numeric.s_addr;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(address.c_str(), nullptr, &hints, &found) != 0 || !found) return std::nullopt;
    const uint32_t result = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(found);
    return result;
}

bool UdpPort::send(const std::string& address, int port, std::span<const uint8_t> bytes) {
    if (fd_ < 0) return false;
    if (!resolved_ || resolvedName_ != address) {
        const auto ip = resolveIPv4(address);
        if (!ip) return false;
        resolvedName_ = address;
        resolvedAddress_ = *ip;
        resolved_ = true;
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = resolvedAddress_;
    to.sin_port = htons(static_cast<uint16_t>(port));
    return ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) ==
           static_cast<ssize_t>(bytes.size());
}

std::string dottedAddress(uint32_t networkOrder) {
    in_addr address{};
    address.s_addr = networkOrder;
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

bool UdpPort::isFrom(const DatagramSource& from, const std::string& address, int port) const {
    if (DatagramPort::isFrom(from, address, port)) return true;
    return from.port == port && resolved_ && resolvedName_ == address &&
           from.address == dottedAddress(resolvedAddress_);
}

void UdpPort::drain(const Sink& sink) {
    buffer_.resize(65536);
    std::vector<uint8_t>& buffer = buffer_;
    for (;;) {
        sockaddr_in sender{};
        socklen_t length = sizeof sender;
        const ssize_t n = ::recvfrom(fd_, buffer.data(), buffer.size(), MSG_DONTWAIT,
                                     reinterpret_cast<sockaddr*>(&sender), &length);
        if (n < 0) {
            if (errno == EINTR) continue;
            return;  // EAGAIN: nothing more waiting; anything else is left to the time-out
        }
        const DatagramSource from{dottedAddress(sender.sin_addr.s_addr), ntohs(sender.sin_port)};
        sink(std::span<const uint8_t>(buffer.data(), static_cast<size_t>(n)), from);
    }
}

int64_t wallClockSeconds() {
    return static_cast<int64_t>(std::time(nullptr));
}

void runDownload(UdpPort& port, DownloadSender& sender) {
    while (sender.running()) {
        pollfd waiting{port.fd(), POLLIN, 0};
        if (::poll(&waiting, 1, 1000) > 0)
            port.drain([&](std::span<const uint8_t> datagram, const DatagramSource& from) {
                sender.onReply(datagram, from);
            });
        sender.onTick(wallClockSeconds());
    }
}

}  // namespace brindlecor::builder
