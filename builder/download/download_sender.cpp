#include "builder/download/download_sender.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "common/download_protocol.h"
#include "common/image_layout.h"

namespace brindlecor::builder {

namespace img = brindlecor::image;
namespace dl = brindlecor::download;

namespace {

constexpr std::string_view kContext = "Downloading";
constexpr std::string_view kNoResponse = "No Response From Brindlecor, Check Password or Connection";
constexpr std::string_view kWarningTitle = "Tamarquill Warning";

std::string pageText(const char* prefix, int page) {
    char text[24];
    std::snprintf(text, sizeof text, "%s%02Xh", prefix, page);
    return text;
}

}  // namespace

DownloadSender::DownloadSender(DatagramPort& port, DownloadView& view, BuildLog& log, Clock clock,
                               std::function<void()> flushArpCache)
    : port_(port),
      view_(view),
      log_(log),
      clock_(std::move(clock)),
      flushArpCache_(std::move(flushArpCache)) {
    password_.fill(0xFF);
}

void DownloadSender::setTarget(std::string address, int port) {
    address_ = std::move(address);
    remotePort_ = port;
}

std::optional<std::string> readImageFile(const std::string& path, std::vector<uint8_t>& bytes) {
    bytes.clear();
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return "Image File Not Found: " + path;
    if (std::filesystem::is_directory(path, ec)) return "Cannot Read Image File: " + path;
    std::ifstream in(path, std::ios::binary);
    char buffer[8192];
    while (in && bytes.size() <= img::kMaxImageLength) {
        in.read(buffer, sizeof buffer);
        bytes.insert(bytes.end(), buffer, buffer + in.gcount());
    }
    if (!in.is_open() || in.bad() || (!in.eof() && bytes.size() <= img::kMaxImageLength))
        return "Cannot Read Image File: " + path;
    if (bytes.empty()) return "Image File Is Empty: " + path;
    if (bytes.size() > img::kMaxImageLength) return "Image File Is Longer Than 49152 Bytes: " + path;
    return std::nullopt;
}

bool DownloadSender::confirmFirmware() {
    constexpr std::string_view mark = dl::kFirmwareMark;
    if (file_.size() < dl::kFirmwareMarkOffset + mark.size() ||
        !std::equal(mark.begin(), mark.end(), file_.begin() + dl::kFirmwareMarkOffset))
        return true;
    const auto first = file_.begin() + dl::kFirmwareDescriptionOffset;
    const auto last = file_.begin() + std::min(file_.size(), dl::kFirmwareDescriptionEnd);
    const std::string description(first, std::find(first, last, dl::kFirmwareDescriptionStop));
    const std::string question =
        "KVB File is a Firmware Upgrade:\r\n" + description + "\r\nDo You Want To Continue?";
    if (view_.askYesNoCancel(kWarningTitle, question) != YesNoCancel::Yes) return false;
    firmware_ = true;
    return true;
}

bool DownloadSender::start(const std::string& imagePath) {
    if (running()) return false;
    std::vector<uint8_t> file;
    if (const auto error = readImageFile(imagePath, file)) {
        log_.clearErrors();
        if (flushArpCache_) flushArpCache_();
        log_.reportError(kContext, *error);
        awaitingReply_ = false;
        outcome_ = DownloadOutcome::Refused;
        return true;
    }
    return startImage(std::move(file));
}

bool DownloadSender::startImage(std::vector<uint8_t> file) {
    if (running()) return false;
    file_ = std::move(file);
    return begin();
}

bool DownloadSender::begin() {
    log_.clearErrors();
    if (flushArpCache_) flushArpCache_();
    firmware_ = false;
    awaitingReply_ = false;
    if (file_.empty() || file_.size() > img::kMaxImageLength) {
        log_.reportError(kContext,
                         file_.empty() ? "Image File Is Empty" : "Image File Is Longer Than 49152 Bytes");
        outcome_ = DownloadOutcome::Refused;
        return true;
    }
    if (!confirmFirmware()) {
        outcome_ = DownloadOutcome::Declined;
        return true;
    }
    if (!overrides_.empty()) {
        file_ = applyOverrides(file_, overrides_);
        for (const FieldOverride& field : overrides_) log_.append(overrideLogLine(field));
    }
    image_.assign(img::kFlashSize, img::kErased);
    std::copy(file_.begin(), file_.end(), image_.begin() + img::kImageBase);
    pageBuffer_.fill(0x00);

    const size_t last = file_.size() - 1;
    lastPage_ = static_cast<int>(last / dl::kPageSize);
    const uint8_t firstPage = img::kImageBase >> 8;
    steps_.clear();
    for (uint8_t block : dl::kEraseBlocks)
        if (last >= static_cast<size_t>(block - firstPage) * 256) steps_.push_back({Kind::Erase, block});
    for (int i = 1; i <= lastPage_; ++i)
        steps_.push_back({Kind::Program, static_cast<uint8_t>(firstPage + i)});
    steps_.push_back({Kind::Program, firstPage});
    if (verify_)
        for (int i = 0; i <= lastPage_; ++i)
            steps_.push_back({Kind::Verify, static_cast<uint8_t>(firstPage + i)});

    outcome_ = DownloadOutcome::Running;
    current_ = 0;
    sendStep();
    return true;
}

std::vector<uint8_t> DownloadSender::request(uint8_t command, uint8_t low, uint8_t high, uint8_t count,
                                             const PasswordBytes& password, const uint8_t* data) const {
    const size_t n = count == 0 ? dl::kMaxDataSize : count;
    std::vector<uint8_t> datagram(dl::kHeaderSize + n);
    datagram[dl::kCommandOffset] = command;
    datagram[dl::kAddressLowOffset] = low;
    datagram[dl::kAddressHighOffset] = high;
    datagram[dl::kCountOffset] = count;
    std::copy(password.begin(), password.end(), datagram.begin() + dl::kPasswordOffset);
    std::copy_n(data ? data : pageBuffer_.data(), n, datagram.begin() + dl::kHeaderSize);
    return datagram;
}

void DownloadSender::sendStep() {
    const Step step = steps_[current_];
    switch (step.kind) {
        case Kind::Erase:
            view_.showDownloadStatus(pageText("Erase:", step.page));
            transmit(request(dl::CMD_ERASE, 0x00, step.page, 1, password_), false);
            return;
        case Kind::Program: {
            const int index = step.page - (img::kImageBase >> 8);
            if (current_ == 0 || steps_[current_ - 1].kind == Kind::Erase) {
                view_.setProgressRange(0, lastPage_);
                view_.setProgressValue(0);
            }
            if (index > 0) view_.setProgressValue(index);
            std::copy_n(image_.begin() + step.page * dl::kPageSize, dl::kPageSize, pageBuffer_.begin());
            view_.showDownloadStatus(pageText("Prog: ", step.page));
            transmit(request(dl::CMD_PROGRAM, 0x00, step.page, 0, password_), false);
            return;
        }
        case Kind::Verify: {
            // A read request's data bytes are only placeholders; the device answers with what it holds.
            static constexpr std::array<uint8_t, dl::kPageSize> placeholders{};
            view_.showDownloadStatus(pageText("Verify: ", step.page));
            transmit(request(dl::CMD_READ, 0x00, step.page, 0, password_, placeholders.data()), false);
            return;
        }
    }
}

void DownloadSender::transmit(const std::vector<uint8_t>& datagram, bool noWait) {
    // State is settled before sending, so a reply delivered from inside send() finds it consistent.
    outstanding_ = datagram;
    awaitingReply_ = !noWait;
    sentAt_ = clock_();
    port_.send(address_, remotePort_, outstanding_);
}

bool DownloadSender::verifyReply(std::span<const uint8_t> datagram) const {
    const uint8_t page = steps_[current_].page;
    if (datagram.size() < dl::kHeaderSize + dl::kPageSize) return false;
    return std::equal(datagram.begin() + dl::kHeaderSize, datagram.begin() + dl::kHeaderSize + dl::kPageSize,
                      image_.begin() + page * dl::kPageSize);
}

void DownloadSender::onReply(std::span<const uint8_t> datagram, const DatagramSource& from) {
    lastReply_.assign(datagram.begin(), datagram.end());
    if (!running() || !awaitingReply_) return;
    // A stray datagram (another device's answer, a late one, anything sent to this port) must not pass for
    // the answer: the request would count as carried out when it never was.
    if (!port_.isFrom(from, address_, remotePort_) || datagram.size() < dl::kHeaderSize ||
        !std::equal(outstanding_.begin(), outstanding_.begin() + dl::kHeaderSize, datagram.begin()))
        return;
    awaitingReply_ = false;
    if (steps_[current_].kind == Kind::Verify && !verifyReply(datagram)) {
        outcome_ = DownloadOutcome::VerifyFailed;
        log_.reportError("Verifying", pageText("Page ", steps_[current_].page) +
                                          " Differs From The Image, Device Not Restarted");
        return;
    }
    if (++current_ < steps_.size()) {
        sendStep();
    } else {
        finish();
    }
}

void DownloadSender::onTick(int64_t now) {
    if (!running() || !awaitingReply_ || now <= sentAt_ + kReplyTimeoutSeconds) return;
    awaitingReply_ = false;
    outcome_ = DownloadOutcome::NoResponse;
    log_.reportError(kContext, kNoResponse);
}

void DownloadSender::finish() {
    std::copy_n(image_.begin() + img::kImageBase, dl::kPageSize, pageBuffer_.begin());
    PasswordBytes imagePassword;
    std::copy_n(pageBuffer_.begin() + (img::kDownloadPasswordAddress - img::kImageBase), imagePassword.size(),
                imagePassword.begin());
    view_.setProgressValue(0);
    view_.showDownloadStatus("Download OK");
    if (firmware_) {
        transmit(request(dl::CMD_FIRMWARE_RESTART, dl::kFirmwareRestartParameter, 0x00, 1, imagePassword),
                 true);
    } else {
        transmit(request(dl::CMD_RESTART, dl::kRestartParameter, 0x00, 1, imagePassword), true);
    }
    outcome_ = DownloadOutcome::Done;
    checkPassword(imagePassword);
}

void DownloadSender::checkPassword(const PasswordBytes& imagePassword) {
    if (isNoDownloadPassword(imagePassword)) {
        view_.showLogErrorColours();
        if (!log_.silentErrors()) view_.showInformation(kWarningTitle, "Downloaded File has No Password");
        log_.append("Warning: Downloaded File has No Password\r\n");
    } else if (imagePassword != password_) {
        view_.showInformation(kWarningTitle,
                              "Downloaded File has new Password\r\n\r\nYou must Change your Password to "
                              "Download Again.");
        log_.append(
            "Warning: Downloaded File has new Password, You must Change your Password to Download Again\r\n");
    }
}

}  // namespace brindlecor::builder
