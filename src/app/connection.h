#pragma once

#include <cstdint>
#include <string>

namespace noxa {

class FormModel;
class SerialLink;
class StationClock;
class StationLocale;
class TcpSockets;
class UdpListener;
struct LinkState;
struct StationConfig;

// Opens the instrument link the configuration asks for: in serial mode the configured serial
// port, in network mode the broadcast listener (when the IP port field reads 2255) and, when
// a host was given for them, the TCP client sockets. Says in the log what became of it.
class ConnectionManager {
public:
    // `sockets` may be null, or not enabled: no TCP connection is then made.
    ConnectionManager(FormModel& form, const StationConfig& config, LinkState& link,
                      UdpListener& listener, SerialLink& serial, TcpSockets* sockets,
                      const StationClock& clock, const StationLocale& locale);
    ConnectionManager(const ConnectionManager&) = delete;
    ConnectionManager& operator=(const ConnectionManager&) = delete;

    // The connect operation, run at start-up, after a configuration save, by the periodic
    // cycle while a serial instrument is silent, and by the button.
    void Connect();

    // The periodic reopen of the serial port: closes it and opens it again, quietly. Returns
    // whether the link is now open.
    bool ReopenSerialPort(std::int32_t portNumber);

private:
    // One line with the system's reason when an open fails for another reason than the last
    // one, and one when the port opens again after failing.
    void ReportSerialOutcome(bool opened);
    void OpenSerialLink();
    void OpenNetworkLink();
    void StartBroadcastListener();

    FormModel& form_;
    const StationConfig& config_;
    LinkState& link_;
    UdpListener& listener_;
    SerialLink& serial_;
    TcpSockets* sockets_ = nullptr;
    const StationClock& clock_;
    const StationLocale& locale_;
    // The reason of the serial port's last failed open; empty while it opens.
    std::string serialFailure_;
};

}  // namespace noxa
