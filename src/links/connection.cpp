#include "links/connection.h"

#include "core/c_numbers.h"
#include "core/form_model.h"
#include "core/station_config.h"
#include "core/station_locale.h"
#include "links/udp_listener.h"
#include "time/station_clock.h"

namespace noxa {

ConnectionManager::ConnectionManager(FormModel& form, const StationConfig& config,
                                     UdpListener& listener, const StationClock& clock,
                                     const StationLocale& locale)
    : form_(form), config_(config), listener_(listener), clock_(clock), locale_(locale) {}

void ConnectionManager::BAbrirPuertoClick() {
    if (!config_.SerialMode()) OpenNetworkLink();
}

void ConnectionManager::OpenNetworkLink() {
    // The field only decides whether the listener starts; the port is always 2255. Text that
    // is no integer counts like any other number.
    std::int32_t port = 0;
    if (!ParseStrictInt(form_.Text(FormText::EPuertoEth), port) || port != UdpListener::kPort) {
        return;
    }
    if (!listener_.Activate()) return;
    form_.AppendLog(locale_.LongTime(clock_.Now().time()) +
                    "  Waiting NOXA-V4I broadcast on port 2255.");
}

}  // namespace noxa
