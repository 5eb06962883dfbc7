// One HTTP request of the emulated device as a pure step: the bytes a connection delivered in, what to do
// with the connection out (with the response bytes), and the request's effects on the device.
#pragma once

#include <string>
#include <string_view>

#include "server/emulation/device.h"

namespace brindlecor::server {

enum class HttpOutcome {
    KeepWaiting,           // a first segment too short to tell: keep it and join it with the next one
    Ignore,                // not a request: nothing is sent, the connection stays open
    Respond,               // send response() in one write, then close the connection
    CloseWithoutResponse,  // a run-time error in the page: close without sending anything
};

// The answer for a path that names nothing in the image.
constexpr std::string_view kNotFoundResponse =
    "HTTP/1.0 404 Not Found\r\n\r\n<h1>File not Found</h1><br>"
    "<b><a href=\"http://localhost/\">Brindlecor</a> PC Demo Server V1.1 (BrindlecorPC)</b><br>";

class HttpResponder {
  public:
    // pageHeaders: put a status line, Content-Type and Content-Length in front of pages, form handlers and
    // object values, which the device sends bare.
    explicit HttpResponder(bool pageHeaders = false) : pageHeaders_(pageHeaders) {}

    void setPageHeaders(bool on) { pageHeaders_ = on; }
    bool pageHeaders() const { return pageHeaders_; }

    // Files in a password-marked folder answered only to a request with the image's access or master
    // credential (HTTP Basic); off by default, when every file is served to anyone.
    void setRequirePasswords(bool on) { requirePasswords_ = on; }
    bool requirePasswords() const { return requirePasswords_; }

    // Handles the bytes one data arrival delivered (with any kept short segment in front).
    HttpOutcome handle(Device& device, std::string_view data);

    // The bytes to send after HttpOutcome::Respond; valid until the next handle().
    const std::string& response() const { return response_; }

  private:
    bool authorized(const Device& device, std::string_view data) const;

    bool pageHeaders_;
    bool requirePasswords_ = false;
    std::string request_;  // the lower-cased request
    std::string header_;
    std::string response_;  // reused so that a request allocates nothing once the buffers have grown
};

// The Content-Type for a requested path's extension (lower case, without the dot; empty for none).
std::string_view contentTypeFor(std::string_view extension);

}  // namespace brindlecor::server
