#include "server/shell/serial_runtime.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include "common/settings_keys.h"
#include "common/settings_store.h"
#include "common/text.h"
#include "server/emulation/serial_settings.h"

namespace brindlecor::server {

namespace {

constexpr const char* kServingWithout = "; serving without a serial port until the next reset";

std::string toText(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

}  // namespace

SerialRuntime::SerialRuntime(Device& device, QObject* parent)
    : QObject(parent), device_(device), protocol_(device) {
    replyTimer_.setSingleShot(true);
    replyTimer_.setInterval(kSerialReplyDelayMs);
    replyTimer_.setTimerType(Qt::PreciseTimer);
    connect(&replyTimer_, &QTimer::timeout, this, &SerialRuntime::sendReply);
    connect(&port_, &QSerialPort::readyRead, this, &SerialRuntime::readBytes);
    connect(&port_, &QSerialPort::errorOccurred, this, &SerialRuntime::portError);
}

SerialRuntime::~SerialRuntime() {
    if (port_.isOpen()) {
        port_.flush();
        port_.close();
    }
}

std::string SerialRuntime::comPortPath(int number) {
    const SettingsStore store = SettingsStore::forApplication(brindlecor::settings::kServerApplication);
    return store.getSetting(
        brindlecor::settings::numbered(brindlecor::settings::kCommDeviceStem, number),
        brindlecor::settings::numbered(brindlecor::settings::kCommDeviceDefaultStem, number - 1));
}

std::optional<std::string> SerialRuntime::openComPort(int number) {
    if (number < 1 || number > kCommPortCount) return "COM" + std::to_string(number) + " is not a port 1-4";
    return openPath(comPortPath(number), number);
}

std::array<bool, kCommPortCount> SerialRuntime::probeComPorts() const {
    std::array<bool, kCommPortCount> available{};
    for (int number = 1; number <= kCommPortCount; ++number) {
        bool& ok = available[static_cast<size_t>(number - 1)];
        if (number == openComPortNumber()) {
            ok = true;
            continue;
        }
        QSerialPort probe;
        probe.setPortName(QString::fromLocal8Bit(comPortPath(number).c_str()));
        ok = probe.open(QIODevice::ReadWrite);
        if (ok) probe.close();
    }
    return available;
}

void SerialRuntime::closePort() {
    if (!port_.isOpen()) return;
    // Errors raised by the last flush belong to a port that is closing anyway.
    closing_ = true;
    port_.flush();
    port_.close();
    closing_ = false;
    emit portChanged();
}

void SerialRuntime::report(const std::string& text) {
    if (report_) report_(text);
}

void SerialRuntime::Effects::serialOutput(uint8_t byte) {
    const char c = static_cast<char>(byte);
    owner_.writeNow(&c, 1);
}

void SerialRuntime::Effects::resetSerialPort() {
    owner_.resetPort();
}

// Closing the last descriptor of a line hangs it up: a host on a pseudo-terminal then fails its reads, and a
// real port drops its modem lines. A close that is followed at once by a reopen keeps a duplicate until the
// port is open again, so the host sees at most a change of settings.
int SerialRuntime::holdLine() const {
    return port_.isOpen() ? ::fcntl(static_cast<int>(port_.handle()), F_DUPFD_CLOEXEC, 0) : -1;
}

void SerialRuntime::releaseLine(int held) {
    if (held >= 0) ::close(held);
}

void SerialRuntime::resetPort() {
    const int held = holdLine();
    closePort();
    settings_ = kSerialDefaultSettings;
    reopenConfigured();
    releaseLine(held);
}

void SerialRuntime::reopenConfigured() {
    if (!override_.empty()) {
        if (auto error = openPath(override_, 0); error)
            report("cannot open serial port " + override_ + ": " + *error + kServingWithout);
        return;
    }
    const SettingsStore store = SettingsStore::forApplication(brindlecor::settings::kServerApplication);
    const std::string value = trimSpaces(brindlecor::settings::value(store, brindlecor::settings::kCommPort));
    if (value.empty() || value == "0") return;
    if (value.size() != 1 || value[0] < '1' || value[0] > '0' + kCommPortCount) {
        report("setting CommPort \"" + value + "\" names no port 1-4" + kServingWithout);
        return;
    }
    const int number = value[0] - '0';
    if (auto error = openComPort(number); error)
        report("cannot open serial port COM" + value + " (" + comPortPath(number) + "): " + *error +
               kServingWithout);
}

std::optional<std::string> SerialRuntime::openPath(const std::string& path, int comNumber) {
    closePort();
    port_.setPortName(QString::fromLocal8Bit(path.c_str()));
    // Qt's defaults (9600, 8 data bits, no parity, one stop bit) are what every port, a pseudo-terminal
    // included, accepts while opening; the real settings follow once it is open.
    if (!port_.open(QIODevice::ReadWrite)) {
        const std::string error = toText(port_.errorString());
        port_.clearError();
        return error;
    }
    openPath_ = path;
    comNumber_ = comNumber;
    applySettings();
    emit portChanged();
    return std::nullopt;
}

void SerialRuntime::applySettings() {
    std::string error;
    const auto s = parseSerialSettings(settings_, error);
    if (!s) {
        report("serial port " + openPath_ + ": " + error);
        return;
    }
    if (!port_.setBaudRate(s->speed))
        report("serial port " + openPath_ + ": cannot set the speed " + std::to_string(s->speed) + ": " +
               toText(port_.errorString()));
    // A pseudo-terminal refuses parity, other data bits and the modem controls; it carries the bytes all
    // the same, so these refusals are not worth a message.
    port_.setDataBits(static_cast<QSerialPort::DataBits>(s->dataBits));
    switch (s->parity) {
        case 'e':
            port_.setParity(QSerialPort::EvenParity);
            break;
        case 'o':
            port_.setParity(QSerialPort::OddParity);
            break;
        case 'm':
            port_.setParity(QSerialPort::MarkParity);
            break;
        case 's':
            port_.setParity(QSerialPort::SpaceParity);
            break;
        default:
            port_.setParity(QSerialPort::NoParity);
            break;
    }
    port_.setStopBits(s->stopBits == 2   ? QSerialPort::TwoStop
                      : s->stopBits == 3 ? QSerialPort::OneAndHalfStop
                                         : QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    port_.clearError();
}

void SerialRuntime::readBytes() {
    // Everything that has arrived is handled now, in order: a burst faster than the events loses nothing.
    const QByteArray data = port_.readAll();
    std::optional<int> newSpeed;
    for (const char c : data) {
        const SerialActions actions = protocol_.receive(static_cast<uint8_t>(c));
        if (actions.startReplyTimer && !replyTimer_.isActive()) replyTimer_.start();
        if (actions.newLineSpeed) newSpeed = actions.newLineSpeed;
    }
    if (newSpeed) {
        settings_ = std::to_string(*newSpeed) + kSerialSettingsSuffix;
        const int held = holdLine();
        closePort();
        reopenConfigured();
        releaseLine(held);
    }
}

void SerialRuntime::sendReply() {
    const std::string reply = protocol_.takeReply();
    writeNow(reply.data(), static_cast<qint64>(reply.size()));
}

void SerialRuntime::writeNow(const char* data, qint64 size) {
    if (!port_.isOpen() || size == 0) return;
    // A host that stops reading must not make us hold its output without limit.
    const qint64 waiting = port_.bytesToWrite();
    if (waiting + size > kMaxPendingSerialOutput) return;
    port_.write(data, size);
    // Out at once; behind output that already waits, the port goes on as the line takes it.
    if (waiting == 0) port_.flush();
}

void SerialRuntime::portError(QSerialPort::SerialPortError error) {
    if (!port_.isOpen() || closing_) return;
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError &&
        error != QSerialPort::WriteError)
        return;
    // Only a line that is hung up or gone ends the port: a USB adapter pulled out, or the far side of a
    // pseudo-terminal closed (an endless end of file). Qt reports a line that cannot take more output just
    // now (a host that does not read) as a resource error too; that, and any other failed read or write,
    // is left to pass.
    pollfd p{static_cast<int>(port_.handle()), POLLIN, 0};
    if (poll(&p, 1, 0) < 0 || !(p.revents & (POLLHUP | POLLERR | POLLNVAL))) {
        port_.clearError();
        return;
    }
    const std::string reason =
        error == QSerialPort::ResourceError ? toText(port_.errorString()) : "the line hung up";
    port_.clearError();
    closePort();
    report("serial port " + openPath_ + " is no longer available (" + reason +
           "); closed, serving without a serial port until the next reset");
}

}  // namespace brindlecor::server
