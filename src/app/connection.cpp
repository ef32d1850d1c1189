#include "app/connection.h"

#include "app/link_state.h"
#include "core/c_numbers.h"
#include "core/form_model.h"
#include "core/station_config.h"
#include "core/station_locale.h"
#include "links/serial_link.h"
#include "links/tcp_sockets.h"
#include "links/udp_listener.h"
#include "time/station_clock.h"

#include <QFile>
#include <QObject>

#include <unistd.h>

#include <cerrno>

#include <string>

namespace noxa {

ConnectionManager::ConnectionManager(FormModel& form, const StationConfig& config, LinkState& link,
                                     UdpListener& listener, SerialLink& serial, TcpSockets* sockets,
                                     const StationClock& clock, const StationLocale& locale)
    : form_(form),
      config_(config),
      link_(link),
      listener_(listener),
      serial_(serial),
      sockets_(sockets),
      clock_(clock),
      locale_(locale) {
    QObject::connect(&listener_, &UdpListener::openFailed, &listener_,
                     [this](quint16 port, const QString& reason) {
                         form_.AppendLog(LogLevel::Error,
                                         "UDP port " + std::to_string(port) +
                                             " could not be opened: " + reason.toStdString() +
                                             ". No broadcasts will be received.");
                     });
}

void ConnectionManager::Connect() {
    // Every connect starts from a closed serial port, in either mode.
    serial_.CloseSerialPort();
    if (config_.SerialMode()) {
        OpenSerialLink();
    } else {
        OpenNetworkLink();
    }
}

bool ConnectionManager::ReopenSerialPort(std::int32_t portNumber) {
    link_.linkOpen = serial_.ReopenSerialPort(portNumber);
    if (portNumber > 0) ReportSerialOutcome(link_.linkOpen);
    return link_.linkOpen;
}

void ConnectionManager::ReportSerialOutcome(bool opened) {
    const std::string device = serial_.DevicePath().toStdString();
    if (opened) {
        if (!serialFailure_.empty()) {
            form_.AppendLog(LogLevel::Info, "Serial device " + device + " open again.");
        }
        serialFailure_.clear();
        return;
    }
    std::string reason = serial_.OpenFailure().toStdString();
    if (reason.empty()) reason = "no reason given";
    if (reason == serialFailure_) return;
    serialFailure_ = reason;
    std::string line = "Serial device " + device + " cannot be opened: " + reason;
    // The port's error kind is the same for a busy device; the file's own permissions tell.
    const QByteArray path = QFile::encodeName(serial_.DevicePath());
    if (access(path.constData(), R_OK | W_OK) != 0 && errno == EACCES) {
        line +=
            " (serial devices belong to the dialout group: sudo adduser $USER dialout, then "
            "log in again)";
    }
    form_.AppendLog(LogLevel::Warning, line + ". Retrying.");
}

void ConnectionManager::OpenSerialLink() {
    const std::int32_t port = config_.serialPortNumber;
    link_.linkOpen = serial_.OpenSerialPort(port);
    ReportSerialOutcome(link_.linkOpen);
    if (!link_.linkOpen) {
        form_.AppendLog(LogLevel::Error, "Serial Port: " + std::to_string(port) + " Fallo");
        form_.SetRxColour(kIndicatorRed);
        return;
    }
    form_.SetRxColour(kIndicatorGray);
    form_.AppendLog(LogLevel::Info, "Serial Port: " + std::to_string(port) + " OK");
}

void ConnectionManager::OpenNetworkLink() {
    StartBroadcastListener();
    // The TCP sockets connect only to a host the user named; ones already connected or
    // connecting stay as they are.
    if (sockets_ != nullptr) sockets_->Open();
}

void ConnectionManager::StartBroadcastListener() {
    // The field only decides whether the listener starts; the port is always 2255. Text that
    // is no integer counts like any other number.
    std::int32_t port = 0;
    if (!ParseStrictInt(form_.Text(FormText::EPuertoEth), port) || port != UdpListener::kPort) {
        return;
    }
    if (!listener_.Activate()) return;
    form_.AppendLog(LogLevel::Info, locale_.LongTime(clock_.Now().time()) +
                                        "  Waiting NOXA-V4I broadcast on port 2255.");
}

}  // namespace noxa
