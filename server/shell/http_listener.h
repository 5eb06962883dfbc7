// The listening socket of the HTTP socket array. The runtime accepts from it itself; a connection the server
// object accepts on its own still goes to the runtime, which gives it a slot.
#pragma once

#include <QTcpServer>

namespace brindlecor::server {

class ServerRuntime;

class HttpListener : public QTcpServer {
    Q_OBJECT

  public:
    explicit HttpListener(ServerRuntime& runtime) : runtime_(runtime) {}

  protected:
    void incomingConnection(qintptr descriptor) override;

  private:
    ServerRuntime& runtime_;
};

}  // namespace brindlecor::server
