#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

namespace noxa::test {

// The headless station running as its own process in a given directory, with its standard
// output (the log) collected as it comes.
class StationProcess {
public:
    explicit StationProcess(const QString& workDir, QStringList extraArguments = {});
    ~StationProcess();

    bool Started() const { return process_.state() == QProcess::Running; }
    // Waits until a log line containing `text` has been printed.
    bool WaitForLog(const QString& text, int timeoutMs = 10000);
    QString Log();
    // Sends SIGTERM and returns the exit code, or -1 when it did not end normally.
    int Terminate();
    // Ends it at once with SIGKILL, as a power cut would.
    void Kill();

private:
    QProcess process_;
    QString output_;
};

// Runs noxa-sim to completion with the given arguments; true when it exited with 0.
bool RunSimulator(const QStringList& arguments);

}  // namespace noxa::test
