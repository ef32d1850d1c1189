#pragma once

#include "links/serial_stream_parser.h"

#include <QObject>
#include <QSerialPort>
#include <QString>

#include <array>
#include <cstdint>
#include <string_view>
#include <utility>

namespace noxa {

// The serial link to an instrument: opens the configured port at 9600 8N1, polls it every
// 100 ms and feeds what arrives into the serial framing. Only waiting bytes are ever read, so
// nothing here waits on the port. A device that goes away is closed, and the link counts as
// failed (IsOpen false) until the next open succeeds. The framing, the ring included, is the
// caller's and outlives every close and reopen.
class SerialLink : public QObject {
    Q_OBJECT

public:
    // Destination of one read from the port; also the most bytes one poll takes.
    static constexpr qint64 kChunkSize = 1000;
    // A poll that finds this many bytes or more waiting drops them all unparsed.
    static constexpr qint64 kBurstLimit = 300;
    // Bytes the port buffers between two polls, as the driver queues would.
    static constexpr qint64 kQueueSize = 10000;

    explicit SerialLink(SerialStreamParser& framing);
    ~SerialLink() override;

    // Port number n names /dev/ttyS<n-1> (COM<n> on Windows).
    static QString DeviceName(std::int32_t portNumber);

    // The configured port opens this device instead (a USB adapter, a pty). Empty: the
    // device of the port number.
    void SetDeviceOverride(QString path) { deviceOverride_ = std::move(path); }

    // Opens port n at 9600 8N1 without waiting. Returns false when the open fails for a port
    // number greater than 0; a port number of 0 or less opens nothing, which is no failure.
    bool OpenSerialPort(std::int32_t portNumber);
    // Closes the port, whether or not it is open.
    void CloseSerialPort();
    // The periodic reopen: closes the port and opens it again, as OpenSerialPort.
    bool ReopenSerialPort(std::int32_t portNumber) {
        CloseSerialPort();
        return OpenSerialPort(portNumber);
    }
    // The port is open and has reported no failure.
    bool IsOpen() const { return port_.isOpen() && !failed_; }
    // The device of the last open attempt, as named ("/dev/ttyUSB0"; the port itself keeps a
    // short name without "/dev/").
    const QString& DevicePath() const { return devicePath_; }
    // Why the last open attempt failed, in the system's words ("Permission denied", "No such
    // file or directory"); empty after an open that succeeded.
    const QString& OpenFailure() const { return openFailure_; }

    // The 100 ms poll: takes what waits at an open port into the framing and parses every
    // pending byte of the ring. Does nothing while the port is not open.
    void PollSerialPort();

    // Sends bytes on the open port; returns false when the port is not open or did not take
    // them all. Nothing waits for the bytes to leave.
    bool Write(std::string_view bytes);

    // Bytes received and not yet taken by a poll.
    qint64 BytesWaiting() const { return port_.isOpen() ? port_.bytesAvailable() : 0; }
    // Bursts dropped whole by the poll, and their bytes.
    std::uint64_t BurstsDropped() const { return burstsDropped_; }
    std::uint64_t BurstBytesDropped() const { return burstBytesDropped_; }

private:
    void OnPortError(QSerialPort::SerialPortError error);

    SerialStreamParser& framing_;
    QSerialPort port_;
    QString deviceOverride_;
    QString devicePath_;
    QString openFailure_;
    std::array<char, kChunkSize> rxChunk_{};
    // The port reported a failure and is about to be closed.
    bool failed_ = false;
    // Counts opens, so a close queued after an error never closes a port opened later.
    std::uint64_t openCount_ = 0;
    std::uint64_t burstsDropped_ = 0;
    std::uint64_t burstBytesDropped_ = 0;
};

}  // namespace noxa
