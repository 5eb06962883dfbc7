// The listening socket of the HTTP socket array: hands each connection request's descriptor to the runtime,
// which picks the slot that accepts it (or closes it when all slots are busy).
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
