// The emulated device with all its sockets and its serial line, as `brindlecorpc serve` and the window both
// run it: opening an image loads it and resets the device, then listens for HTTP and binds the UDP services.
#pragma once

#include <optional>
#include <string>

#include "server/shell/serial_runtime.h"
#include "server/shell/serve_options.h"
#include "server/shell/server_runtime.h"
#include "server/shell/udp_runtime.h"

namespace brindlecor::server {

class DeviceServer {
  public:
    explicit DeviceServer(ServeOptions options);
    ~DeviceServer();
    DeviceServer(const DeviceServer&) = delete;
    DeviceServer& operator=(const DeviceServer&) = delete;

    struct Opened {
        enum class Outcome {
            Serving,       // listening for HTTP; the UDP services are bound as far as they could be
            ImageRefused,  // the file is missing, unreadable or too big: nothing has changed
            CannotListen,  // the image is loaded but no address could be listened on; no UDP socket is bound
        };
        Outcome outcome = Outcome::Serving;
        std::string imageError;  // with ImageRefused
        ListenResult listen;
        std::string udpError;  // the UDP ports that could not be bound, when some could not
    };

    // Loads the image and resets the device, closes the HTTP listener and the UDP sockets, listens again and
    // binds the UDP services.
    Opened open(const std::string& path);
    // Reads the open image again and resets; nothing happens without one or when its file is gone. The
    // error text when the file cannot be loaded now (the device is then unchanged).
    std::optional<std::string> reload() { return runtime_.reload(); }
    // Closes every socket: the connections from the highest down, the listener, the UDP services.
    void close();

    ServerRuntime& runtime() { return runtime_; }
    const ServerRuntime& runtime() const { return runtime_; }
    SerialRuntime& serial() { return serial_; }
    UdpRuntime& udp() { return udp_; }

  private:
    ServerRuntime runtime_;
    SerialRuntime serial_;
    UdpRuntime udp_;
};

}  // namespace brindlecor::server
