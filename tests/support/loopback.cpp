#include "tests/support/loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace brindlecor::testing {

namespace {

sockaddr_in loopbackAddress(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    return address;
}

}  // namespace

int connectTo(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in to = loopbackAddress(port);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
        close(fd);
        return -1;
    }
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

bool sendAll(int fd, const std::string& text) {
    return send(fd, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
}

std::string readToClose(int fd, bool& closed, int timeoutMs) {
    std::string got;
    closed = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return got;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0) return got;
        char buffer[4096];
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            closed = true;
            return got;
        }
        got.append(buffer, static_cast<size_t>(n));
    }
}

Exchange exchange(int port, const std::vector<std::string>& segments) {
    Exchange result;
    const int fd = connectTo(port);
    if (fd < 0) return result;
    result.connected = true;
    result.sent = true;
    for (size_t i = 0; i < segments.size(); ++i) {
        if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        result.sent = sendAll(fd, segments[i]) && result.sent;
    }
    result.response = readToClose(fd, result.closed);
    close(fd);
    return result;
}

std::string httpGet(int port, const std::string& target) {
    return exchange(port, {"GET " + target + " HTTP/1.0\r\n\r\n"}).response;
}

UdpPeer::UdpPeer() {
    fd_ = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in at = loopbackAddress(0);
    bind(fd_, reinterpret_cast<sockaddr*>(&at), sizeof at);
    socklen_t length = sizeof at;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&at), &length);
    port_ = ntohs(at.sin_port);
}

UdpPeer::~UdpPeer() {
    close(fd_);
}

bool UdpPeer::sendTo(int port, const std::string& bytes) const {
    const sockaddr_in to = loopbackAddress(port);
    return sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) >= 0;
}

std::optional<std::string> UdpPeer::receive(int timeoutMs, int* fromPort) const {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) <= 0) return std::nullopt;
    char buffer[2048];
    sockaddr_in from{};
    socklen_t length = sizeof from;
    const ssize_t n = recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
    if (n < 0) return std::nullopt;
    if (fromPort) *fromPort = ntohs(from.sin_port);
    return std::string(buffer, static_cast<size_t>(n));
}

}  // namespace brindlecor::testing
