// The builder's download socket as the session drives it: a datagram port that is bound once to its local
// port at start-up and can be bound again later if that failed.
#pragma once

#include <optional>
#include <string>

#include "builder/download/datagram_port.h"

namespace brindlecor::builder {

class DownloadSocket : public DatagramPort {
  public:
    // Binds the local port on every IPv4 interface; the reason when it cannot.
    virtual std::optional<std::string> bind(int localPort) = 0;
    virtual bool bound() const = 0;
};

}  // namespace brindlecor::builder
