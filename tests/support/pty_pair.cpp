#include "support/pty_pair.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>

namespace noxa::test {

PtyPair::PtyPair(QString folder) : folder_(std::move(folder)) {}

PtyPair::~PtyPair() {
    Stop();
}

void PtyPair::RemoveLinks() {
    // socat killed hard leaves its links behind, pointing at terminals that may be reused.
    QFile::remove(StationEnd());
    QFile::remove(FarEnd());
}

bool PtyPair::Start() {
    Stop();
    error_.clear();
    if (QStandardPaths::findExecutable("socat").isEmpty()) {
        error_ = "socat is not installed (scripts/install-deps installs it)";
        return false;
    }
    socat_.setStandardOutputFile(QProcess::nullDevice());
    socat_.setStandardErrorFile(QProcess::nullDevice());
    socat_.start("socat", {"-d", "-d", "pty,raw,echo=0,link=" + StationEnd(),
                           "pty,raw,echo=0,link=" + FarEnd()});
    if (!socat_.waitForStarted(10000)) {
        error_ = "socat did not start: " + socat_.errorString().toStdString();
        return false;
    }
    const bool linked = QTest::qWaitFor(
        [&] {
            return !Running() || (QFileInfo::exists(StationEnd()) && QFileInfo::exists(FarEnd()));
        },
        10000);
    if (!linked || !Running()) {
        error_ = "socat made no pty pair";
        Stop();
        return false;
    }
    farFd_ = ::open(FarEnd().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (farFd_ < 0) {
        error_ = "cannot open the instrument's end";
        Stop();
        return false;
    }
    return true;
}

void PtyPair::Stop() {
    if (farFd_ >= 0) {
        ::close(farFd_);
        farFd_ = -1;
    }
    if (Running()) {
        socat_.kill();
        socat_.waitForFinished(10000);
    }
    RemoveLinks();
}

bool PtyPair::WriteFar(std::string_view bytes) {
    if (farFd_ < 0) return false;
    while (!bytes.empty()) {
        const ssize_t n = ::write(farFd_, bytes.data(), bytes.size());
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        } else {
            QTest::qWait(5);  // the terminal's buffer is full for a moment
        }
    }
    return true;
}

std::string PtyPair::DrainFar() {
    std::string out;
    if (farFd_ < 0) return out;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(farFd_, buffer, sizeof buffer);
        if (n <= 0) break;
        out.append(buffer, static_cast<std::size_t>(n));
    }
    return out;
}

std::string PtyPair::ReadFar(std::size_t count, int timeoutMs) {
    std::string got;
    (void)QTest::qWaitFor(
        [&] {
            got += DrainFar();
            return got.size() >= count;
        },
        timeoutMs);
    return got;
}

}  // namespace noxa::test
