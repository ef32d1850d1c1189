#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

namespace noxa::test {

// A UDP port that was free a moment ago, for a station of its own.
quint16 FreeUdpPort();

// The headless station running as its own process in a given directory, with its standard
// output (the log) collected as it comes. Each one listens for broadcasts on a port of its own,
// so that several can run at once.
class StationProcess {
public:
    StationProcess(const QString& workDir, QStringList extraArguments = {},
                   quint16 port = FreeUdpPort());
    ~StationProcess();

    bool Started() const { return process_.state() == QProcess::Running; }
    // The port it listens on for the instrument's broadcasts.
    quint16 Port() const { return port_; }
    // Waits until a log line containing `text` has been printed.
    bool WaitForLog(const QString& text, int timeoutMs = 10000);
    QString Log();
    // Sends SIGTERM and returns the exit code, or -1 when it did not end normally.
    int Terminate();
    // Ends it at once with SIGKILL, as a power cut would.
    void Kill();

private:
    quint16 port_;
    QProcess process_;
    QString output_;
};

// Runs noxa-sim to completion with the given arguments; true when it exited with 0.
bool RunSimulator(const QStringList& arguments);

}  // namespace noxa::test
