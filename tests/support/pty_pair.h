#pragma once

#include <QProcess>
#include <QString>

#include <string>
#include <string_view>

namespace noxa::test {

// A pair of connected pseudo terminals made by socat: what is written to one end comes out
// of the other, as over a null-modem cable. The station opens StationEnd(); the test plays
// the instrument on FarEnd() through a plain file descriptor. Stopping the pair (or the end
// of the object) kills socat, which makes the station's device vanish; starting it again
// with the same folder brings the same device names back.
class PtyPair {
public:
    // Links "<folder>/station" and "<folder>/instrument".
    explicit PtyPair(QString folder);
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    // Starts socat and waits until both devices exist; false (with the reason in Error())
    // when that does not happen.
    bool Start();
    // Kills socat and closes the far end; the station's end goes away with it.
    void Stop();
    bool Running() const { return socat_.state() != QProcess::NotRunning; }
    const std::string& Error() const { return error_; }

    QString StationEnd() const { return folder_ + "/station"; }
    QString FarEnd() const { return folder_ + "/instrument"; }

    // Writes all bytes at the instrument's end.
    bool WriteFar(std::string_view bytes);
    // Waits until `count` bytes have arrived at the instrument's end (or the timeout passed)
    // and returns what arrived.
    std::string ReadFar(std::size_t count, int timeoutMs = 10000);
    // Whatever has arrived at the instrument's end by now.
    std::string DrainFar();

private:
    void RemoveLinks();

    QString folder_;
    QProcess socat_;
    int farFd_ = -1;
    std::string error_;
};

}  // namespace noxa::test
