// The serial line of the emulated device on a real port: COM1-COM4 mapped to device paths by the settings,
// opened at reset, fed byte by byte into the serial command protocol, with the 2 ms reply timer and the
// serial output register.
#pragma once

#include <QObject>
#include <QSerialPort>
#include <QTimer>
#include <array>
#include <functional>
#include <optional>
#include <string>

#include "server/emulation/device.h"
#include "server/emulation/serial_protocol.h"

namespace brindlecor::server {

constexpr int kCommPortCount = 4;
// Output that a line whose far end does not read can hold back; beyond it, output is dropped, not kept.
constexpr qint64 kMaxPendingSerialOutput = 64 * 1024;

class SerialRuntime : public QObject {
    Q_OBJECT

  public:
    explicit SerialRuntime(Device& device, QObject* parent = nullptr);
    ~SerialRuntime() override;

    // What RAM writes and resets do to the port; register it with the runtime.
    DeviceEffects& effects() { return effects_; }

    // A device path used at every reset instead of the "CommPort" setting.
    void setPortOverride(std::string path) { override_ = std::move(path); }
    // Where messages for the user go: a port that cannot be opened, a port that went away.
    void setReporter(std::function<void(const std::string&)> report) { report_ = std::move(report); }

    // Device path of COM1-COM4 from the settings "CommDevice1".."CommDevice4".
    static std::string comPortPath(int number);

    // Opens COM<number> (1-4) with the current settings, closing any open port first; the error text when
    // it cannot be opened.
    std::optional<std::string> openComPort(int number);
    void closePort();
    // Which of COM1-COM4 can be opened now: each is opened and closed again, except the open port, which
    // stays open (the host on its line sees no hang-up) and counts as available.
    std::array<bool, kCommPortCount> probeComPorts() const;
    bool isOpen() const { return port_.isOpen(); }
    // 1-4 while a COM port is open, 0 otherwise (also while the override path is open).
    int openComPortNumber() const { return isOpen() ? comNumber_ : 0; }
    const std::string& portSettings() const { return settings_; }
    // Bytes written to the port that have not gone out yet.
    qint64 pendingOutput() const { return port_.bytesToWrite(); }

  signals:
    // The port was opened or closed (the window keeps its COM check marks in step).
    void portChanged();

  private:
    class Effects : public DeviceEffects {
      public:
        explicit Effects(SerialRuntime& owner) : owner_(owner) {}
        void serialOutput(uint8_t byte) override;
        void resetSerialPort() override;

      private:
        SerialRuntime& owner_;
    };

    void resetPort();
    // A duplicate of the open port's descriptor (-1 when none is open), and its release.
    int holdLine() const;
    static void releaseLine(int held);
    void reopenConfigured();
    std::optional<std::string> openPath(const std::string& path, int comNumber);
    void applySettings();
    void readBytes();
    void sendReply();
    void writeNow(const char* data, qint64 size);
    void portError(QSerialPort::SerialPortError error);
    void report(const std::string& text);

    Device& device_;
    SerialProtocol protocol_;
    Effects effects_{*this};
    QSerialPort port_;
    QTimer replyTimer_;
    std::string settings_ = kSerialDefaultSettings;
    std::string override_;
    std::string openPath_;
    int comNumber_ = 0;
    bool closing_ = false;
    std::function<void(const std::string&)> report_;
};

}  // namespace brindlecor::server
