// The download of a flash image to a device: erase the blocks the image needs, program it page by page
// (the first page last), optionally read every page back, restart the device, then compare passwords.
// It is a state machine driven from outside: the caller feeds every received datagram to onReply and the
// wall clock (seconds) to onTick; nothing here blocks or sleeps, so a window stays responsive around it.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "builder/download/config_overrides.h"
#include "builder/download/datagram_port.h"
#include "builder/download/download_password.h"
#include "builder/download/download_view.h"
#include "builder/image/build_log.h"

namespace brindlecor::builder {

constexpr int kReplyTimeoutSeconds = 30;

enum class DownloadOutcome {
    None,  // no download started yet
    Running,
    Done,          // every request answered, restart sent
    NoResponse,    // a request went unanswered for 30 seconds
    Refused,       // the image file could not be used; nothing was sent
    Declined,      // a firmware image that the user did not confirm; nothing was sent
    VerifyFailed,  // a page read back differs; no restart was sent
};

// Reads an image file as the download uses it; the error text when it cannot be used ("Image File Not
// Found: PATH", an empty or unreadable file, one longer than 49152 bytes).
std::optional<std::string> readImageFile(const std::string& path, std::vector<uint8_t>& bytes);

class DownloadSender {
  public:
    // Seconds of the wall clock; noted when a request is sent.
    using Clock = std::function<int64_t()>;

    DownloadSender(DatagramPort& port, DownloadView& view, BuildLog& log, Clock clock,
                   std::function<void()> flushArpCache = {});

    void setTarget(std::string address, int port);
    void setPassword(const PasswordBytes& password) { password_ = password; }
    // Read every programmed page back before the restart and stop on a difference.
    void setVerify(bool verify) { verify_ = verify; }
    // Configuration fields that later downloads send in place of the image's own; the log names each one.
    void setOverrides(std::vector<FieldOverride> fields) { overrides_ = std::move(fields); }

    // Starts downloading the image file and sends the first request. False, with nothing done, when a
    // download is already running; otherwise true, and outcome() tells whether it runs or ended already
    // (a refused file or a declined firmware question).
    bool start(const std::string& imagePath);
    // The same with the bytes of an image file that was read already, so that several downloads send
    // exactly the same image.
    bool startImage(std::vector<uint8_t> file);

    // Every datagram received on the download socket, with where it came from. Only the device's echo of
    // the outstanding request answers it (from the download address and port, its first 20 bytes equal
    // to the request's), and the next request goes out at once; anything else is only kept in lastReply.
    void onReply(std::span<const uint8_t> datagram, const DatagramSource& from);

    // The wall clock; a request unanswered for more than 30 seconds ends the download.
    void onTick(int64_t now);

    bool running() const { return outcome_ == DownloadOutcome::Running; }
    DownloadOutcome outcome() const { return outcome_; }
    const std::vector<uint8_t>& lastReply() const { return lastReply_; }

  private:
    enum class Kind { Erase, Program, Verify };
    struct Step {
        Kind kind;
        uint8_t page;
    };

    bool begin();
    bool confirmFirmware();
    void sendStep();
    std::vector<uint8_t> request(uint8_t command, uint8_t low, uint8_t high, uint8_t count,
                                 const PasswordBytes& password, const uint8_t* data = nullptr) const;
    void transmit(const std::vector<uint8_t>& datagram, bool noWait);
    bool verifyReply(std::span<const uint8_t> datagram) const;
    void finish();
    void checkPassword(const PasswordBytes& imagePassword);

    DatagramPort& port_;
    DownloadView& view_;
    BuildLog& log_;
    Clock clock_;
    std::function<void()> flushArpCache_;
    std::string address_;
    int remotePort_ = 0;
    PasswordBytes password_{};
    bool verify_ = false;
    std::vector<FieldOverride> overrides_;

    DownloadOutcome outcome_ = DownloadOutcome::None;
    std::vector<uint8_t> file_;
    std::vector<uint8_t> image_;  // 64 KiB by device address
    std::array<uint8_t, 256> pageBuffer_{};
    bool firmware_ = false;
    int lastPage_ = 0;  // P: pages after the first
    std::vector<Step> steps_;
    size_t current_ = 0;
    std::vector<uint8_t> outstanding_;
    bool awaitingReply_ = false;
    int64_t sentAt_ = 0;
    std::vector<uint8_t> lastReply_;
};

}  // namespace brindlecor::builder
