#pragma once

namespace noxa {

class FormModel;
class StationClock;
class StationLocale;
class UdpListener;
struct StationConfig;

// Opens the instrument link the configuration asks for: in network mode the broadcast
// listener, when the IP port field reads 2255.
class ConnectionManager {
public:
    ConnectionManager(FormModel& form, const StationConfig& config, UdpListener& listener,
                      const StationClock& clock, const StationLocale& locale);

    // The connect operation, run at start-up, after a configuration save and by the button.
    void BAbrirPuertoClick();

private:
    void OpenNetworkLink();

    FormModel& form_;
    const StationConfig& config_;
    UdpListener& listener_;
    const StationClock& clock_;
    const StationLocale& locale_;
};

}  // namespace noxa
