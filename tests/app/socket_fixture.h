#pragma once

#include "app/link_state.h"
#include "app/serial_handlers.h"
#include "app/socket_handlers.h"
#include "core/form_model.h"
#include "core/live_sums.h"
#include "core/observation.h"
#include "core/station_locale.h"
#include "links/tcp_sockets.h"
#include "support/tcp_servers.h"
#include "time/station_clock.h"

#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace noxa::test {

// The station's socket handlers on the four client sockets, which point at loopback servers
// standing in for the instrument; reports the shared framing hands on are recorded with their
// source.
class SocketFixture : public ::testing::Test {
protected:
    SocketFixture() { handlers.Attach(sockets); }
    void SetUp() override { ASSERT_TRUE(net.Listen()); }

    // Waits until the log's last line is `line`.
    [[nodiscard]] bool AwaitLogLine(const std::string& line) {
        return QTest::qWaitFor(
            [&] { return !form.LogLines().empty() && form.LogLines().back() == line; }, 10000);
    }

    // How many lines of the log read `line`.
    std::ptrdiff_t LogCount(const std::string& line) const {
        return std::count(form.LogLines().begin(), form.LogLines().end(), line);
    }

    // The log without its first line, "Log".
    std::vector<std::string> Log() const {
        return {form.LogLines().begin() + 1, form.LogLines().end()};
    }

    FormModel form;
    LiveSums readings;
    LinkState state;
    std::vector<std::pair<std::string, ReportSource>> reports;
    SerialHandlers framing{form, readings, [this](std::string_view report, ReportSource source) {
                               reports.emplace_back(report, source);
                           }};
    ManualClock clock{QDateTime(QDate(2023, 4, 9), QTime(22, 0, 5))};
    StationLocale locale = StationLocale::Fixed("%d/%m/%Y", "%H:%M:%S", ".");
    // Each socket-1 read asks whether a record is due; the recorder answers elsewhere.
    int recordRequests = 0;
    SocketHandlers handlers{form, state, framing, clock, locale, [this] {
                                ++recordRequests;
                                form.AppendLog(LogLevel::Info, "record due?");
                            }};
    TcpSockets sockets;
    TcpServers net{sockets};
    std::vector<std::pair<int, std::string>>& sent = net.sent;
};

}  // namespace noxa::test
