#include "server/shell/http_listener.h"

#include "server/shell/server_runtime.h"

namespace brindlecor::server {

void HttpListener::incomingConnection(qintptr descriptor) {
    runtime_.connectionRequest(descriptor);
}

}  // namespace brindlecor::server
