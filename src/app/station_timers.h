#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

namespace noxa {

class Station;

// What drives the station on the event loop: the serial poll every 100 ms, the heartbeat once
// a second and the chart timer at the interval the station chooses. Without it (tests, fast
// simulations) the station's handlers are called by hand.
class StationTimers : public QObject {
    Q_OBJECT

public:
    explicit StationTimers(Station& station);

    // Starts all three; they first fire once the event loop runs.
    void Start();

    const QTimer& Heartbeat() const { return heartbeat_; }
    const QTimer& Chart() const { return chart_; }

private:
    void Beat();

    Station& station_;
    QTimer poll_;
    QTimer heartbeat_;
    QTimer chart_;
    QElapsedTimer sinceLastBeat_;
};

}  // namespace noxa
