#include "builder/shell/batch_download.h"

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>

#include "builder/download/download_sender.h"
#include "builder/shell/arp_flush.h"
#include "builder/shell/console_download_view.h"
#include "builder/shell/udp_port.h"
#include "common/text.h"

namespace brindlecor::builder {

namespace {

using SteadyClock = std::chrono::steady_clock;

// What one device's download shows: kept for its result line instead of being printed as it comes.
class DeviceView : public DownloadView, public BuildView {
  public:
    explicit DeviceView(std::function<YesNoCancel(std::string_view, std::string_view)> ask)
        : ask_(std::move(ask)) {}

    void showDownloadStatus(std::string_view) override {}
    void setProgressRange(int, int maximum) override { maximum_ = maximum; }
    void setProgressValue(int value) override { value_ = value; }
    YesNoCancel askYesNoCancel(std::string_view title, std::string_view text) override {
        return ask_(title, text);
    }
    void showInformation(std::string_view, std::string_view) override {}  // the log line says the same
    void showLogErrorColours() override {}

    void appendLog(std::string_view text) override { log_ += text; }
    void clearLog() override {}
    void showErrorState(bool) override {}
    void errorReported(std::string_view, std::string_view text, const SourceLocation*) override {
        if (error_.empty()) error_ = text;
    }
    Answer askOkCancel(std::string_view, std::string_view) override { return Answer::Ok; }
    void showErrorBox(std::string_view text) override {
        if (error_.empty()) error_ = text;
    }
    void siteFileChanged(const std::string&) override {}

    const std::string& error() const { return error_; }
    // The warnings the download logged ("Warning: Downloaded File has No Password"), joined.
    std::string warnings() const {
        std::string out;
        for (size_t at = 0; at < log_.size();) {
            size_t end = log_.find("\r\n", at);
            if (end == std::string::npos) end = log_.size();
            const std::string_view line(log_.data() + at, end - at);
            if (line.rfind("Warning: ", 0) == 0) out += "  " + std::string(line);
            at = end + 2;
        }
        return out;
    }
    // How far the pages have got, 0 to 1.
    double fraction() const { return maximum_ > 0 ? std::clamp(double(value_) / maximum_, 0.0, 1.0) : 0.0; }

  private:
    std::function<YesNoCancel(std::string_view, std::string_view)> ask_;
    std::string log_;
    std::string error_;
    int maximum_ = 0, value_ = 0;
};

struct Slot {
    UdpPort port;
    std::unique_ptr<DeviceView> view;
    std::unique_ptr<BuildLog> log;
    std::unique_ptr<DownloadSender> sender;
    size_t device = 0;
    SteadyClock::time_point started;
    bool busy = false;
};

// A name for one line of a terminal: UTF-8, without line breaks or other control characters.
std::string shownName(const std::string& name) {
    std::string out = windows1252ToUtf8(name);
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20) c = ' ';
    return out.empty() ? "-" : out;
}

// Columns on a terminal: UTF-8 continuation bytes take none.
int displayWidth(const std::string& utf8) {
    return static_cast<int>(std::count_if(utf8.begin(), utf8.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

// The text padded with spaces to width columns.
std::string padded(const std::string& utf8, int width) {
    return utf8 + std::string(static_cast<size_t>(std::max(0, width - displayWidth(utf8))), ' ');
}

class Batch {
  public:
    Batch(const std::vector<uint8_t>& image, const std::vector<BatchDevice>& devices,
          const BatchSettings& settings)
        : image_(image), devices_(devices), settings_(settings) {
        for (const BatchDevice& d : devices_) {
            shownWidth_ = std::max(shownWidth_, static_cast<int>(d.shown.size()));
            nameWidth_ = std::max(nameWidth_, displayWidth(shownName(d.name)));
        }
    }

    BatchResult run() {
        BatchResult result;
        const size_t jobs = std::min<size_t>(std::max(settings_.jobs, 1), devices_.size());
        slots_ = std::vector<Slot>(jobs);
        for (size_t i = 0; i < jobs; ++i) {
            const int local = settings_.localPort == 0 ? 0 : settings_.localPort + static_cast<int>(i);
            if (auto error = slots_[i].port.open(local)) {
                result.error = *error;
                return result;
            }
        }
        // The flush is of one fixed address, so once serves the whole batch.
        flushArpCache();
        while (true) {
            for (Slot& slot : slots_)
                if (!slot.busy && next_ < devices_.size()) start(slot, next_++);
            finishEnded();
            if (std::none_of(slots_.begin(), slots_.end(), [](const Slot& s) { return s.busy; })) {
                if (next_ >= devices_.size()) break;
                continue;
            }
            wait();
            finishEnded();
            drawProgress(false);
        }
        clearProgress();
        std::printf("%d of %zu devices downloaded\n", downloaded_, devices_.size());
        std::fflush(stdout);
        result.downloaded = downloaded_;
        return result;
    }

  private:
    YesNoCancel ask(std::string_view title, std::string_view text) {
        // A firmware image is the same for every device: asked once, the answer serves them all.
        if (!firmwareAnswer_) {
            clearProgress();
            firmwareAnswer_ = askOnConsole(title, text, settings_.assumeYes);
        }
        return *firmwareAnswer_;
    }

    void start(Slot& slot, size_t index) {
        const BatchDevice& device = devices_[index];
        slot.port.drain(
            [](std::span<const uint8_t>, const DatagramSource&) {});  // the last device's leftovers
        slot.view = std::make_unique<DeviceView>(
            [this](std::string_view title, std::string_view text) { return ask(title, text); });
        slot.log = std::make_unique<BuildLog>(*slot.view);
        slot.log->setSilentErrors(true);
        slot.sender = std::make_unique<DownloadSender>(slot.port, *slot.view, *slot.log, wallClockSeconds);
        slot.sender->setTarget(device.address, device.port);
        slot.sender->setPassword(device.password);
        slot.sender->setVerify(settings_.verify);
        slot.sender->setOverrides(device.overrides);
        slot.device = index;
        slot.started = SteadyClock::now();
        slot.busy = true;
        slot.sender->startImage(image_);
    }

    void wait() {
        std::vector<pollfd> waiting;
        std::vector<Slot*> owners;
        for (Slot& slot : slots_) {
            if (!slot.busy) continue;
            waiting.push_back({slot.port.fd(), POLLIN, 0});
            owners.push_back(&slot);
        }
        // Short enough for the progress line, long enough not to spin.
        if (::poll(waiting.data(), waiting.size(), settings_.progress ? 100 : 1000) > 0) {
            for (size_t i = 0; i < waiting.size(); ++i) {
                if (!(waiting[i].revents & POLLIN)) continue;
                Slot& slot = *owners[i];
                slot.port.drain([&slot](std::span<const uint8_t> datagram, const DatagramSource& from) {
                    slot.sender->onReply(datagram, from);
                });
            }
        }
        const int64_t now = wallClockSeconds();
        for (Slot* slot : owners) slot->sender->onTick(now);
    }

    void finishEnded() {
        for (Slot& slot : slots_) {
            if (!slot.busy || slot.sender->running()) continue;
            slot.busy = false;
            report(slot);
        }
    }

    void report(const Slot& slot) {
        const BatchDevice& device = devices_[slot.device];
        const double seconds = std::chrono::duration<double>(SteadyClock::now() - slot.started).count();
        std::string result;
        switch (slot.sender->outcome()) {
            case DownloadOutcome::Done:
                result = "OK";
                ++downloaded_;
                break;
            case DownloadOutcome::Declined:
                result = "Firmware Upgrade Not Confirmed";
                break;
            default:
                result = slot.view->error().empty() ? "Download Failed" : slot.view->error();
                break;
        }
        ++finished_;
        clearProgress();
        std::printf("%s  %s  %s  %.2f s%s\n", padded(device.shown, shownWidth_).c_str(),
                    padded(shownName(device.name), nameWidth_).c_str(), withoutCarriageReturns(result).c_str(),
                    seconds, slot.view->warnings().c_str());
        std::fflush(stdout);
        drawProgress(true);
    }

    void drawProgress(bool now) {
        if (!settings_.progress) return;
        const auto at = SteadyClock::now();
        if (!now && at - drawn_ < std::chrono::milliseconds(100)) return;
        drawn_ = at;
        double done = finished_;
        int running = 0;
        for (const Slot& slot : slots_) {
            if (!slot.busy) continue;
            done += slot.view->fraction();
            ++running;
        }
        constexpr int width = 30;
        const int filled = static_cast<int>(done / static_cast<double>(devices_.size()) * width);
        std::string bar(static_cast<size_t>(std::clamp(filled, 0, width)), '#');
        bar.resize(width, '.');
        std::fprintf(stderr, "\r[%s] %zu of %zu devices done, %d running\033[K", bar.c_str(), finished_,
                     devices_.size(), running);
        std::fflush(stderr);
        progressShown_ = true;
    }

    void clearProgress() {
        if (!progressShown_) return;
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        progressShown_ = false;
    }

    const std::vector<uint8_t>& image_;
    const std::vector<BatchDevice>& devices_;
    const BatchSettings& settings_;
    std::vector<Slot> slots_;
    size_t next_ = 0;
    size_t finished_ = 0;
    int downloaded_ = 0;
    int shownWidth_ = 0, nameWidth_ = 1;
    std::optional<YesNoCancel> firmwareAnswer_;
    SteadyClock::time_point drawn_{};
    bool progressShown_ = false;
};

}  // namespace

BatchResult runBatch(const std::vector<uint8_t>& image, const std::vector<BatchDevice>& devices,
                     const BatchSettings& settings) {
    return Batch(image, devices, settings).run();
}

}  // namespace brindlecor::builder
