#pragma once

#include <QObject>

class QSocketNotifier;

namespace noxa {

// Turns SIGINT and SIGTERM into a Qt signal on the main thread, so the station can end through
// its event loop instead of inside a signal handler.
class TerminationSignals : public QObject {
    Q_OBJECT

public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

signals:
    void terminationRequested();

private:
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace noxa
