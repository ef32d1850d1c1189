#pragma once

#include "links/serial_stream_parser.h"

#include <QObject>
#include <QSerialPort>
#include <QString>

#include <array>
#include <cstdint>
#include <string_view>

namespace noxa {

class FormModel;
struct LinkState;
struct LiveReadings;
struct StationConfig;

// The serial link to an instrument: opens the configured port at 9600 8N1, polls it every
// 100 ms and feeds what arrives through the frame parser. Only waiting bytes are ever read,
// so nothing here waits on the port. A device that goes away is closed, the poll then shows
// the link as failed (LRx red) until the next reopen succeeds. The ring and the frame state
// outlive every close and reopen.
class SerialLink : public QObject {
    Q_OBJECT

public:
    // Destination of one read from the port; also the most bytes one poll takes.
    static constexpr qint64 kChunkSize = 1000;
    // A poll that finds this many bytes or more waiting drops them all unparsed.
    static constexpr qint64 kBurstLimit = 300;
    // Bytes the port buffers between two polls, as the driver queues would.
    static constexpr qint64 kQueueSize = 10000;

    SerialLink(FormModel& form, LiveReadings& readings, const StationConfig& config,
               LinkState& link, SerialStreamParser::FrameHandler onFrame);
    ~SerialLink() override;

    // Port number n names /dev/ttyS<n-1> (COM<n> on Windows).
    static QString DeviceName(std::int32_t portNumber);

    // The configured port opens this device instead (a USB adapter, a pty). Empty: the
    // device of the port number.
    void SetDeviceOverride(QString path) { deviceOverride_ = std::move(path); }
    const QString& DeviceOverride() const { return deviceOverride_; }

    // Opens port n at 9600 8N1 without waiting. linkOpen becomes false when the open fails
    // for a port number greater than 0 and true otherwise; a port number of 0 or less opens
    // nothing. Returns the new linkOpen.
    bool OpenSerialPort(std::int32_t portNumber);
    // Closes the port, whether or not it is open.
    void CloseSerialPort();
    // The periodic reopen: closes the port and opens it again. Returns the new linkOpen.
    bool ReopenSerialPort(std::int32_t portNumber) {
        CloseSerialPort();
        return OpenSerialPort(portNumber);
    }
    bool IsOpen() const { return port_.isOpen() && !failed_; }
    // The device of the last open attempt.
    QString DevicePath() const { return port_.portName(); }

    // The 100 ms poll (Timer1Timer).
    void PollSerialPort();

    // Sends bytes on the open port; returns false when the port is not open or did not take
    // them all. Nothing waits for the bytes to leave.
    bool Write(std::string_view bytes);

    // Text from the automation interface; see SerialStreamParser::FeedRingText.
    bool FeedRingText(std::string_view text) { return parser_.FeedRingText(text); }
    void ResetFrameByteCount() { parser_.ResetFrameByteCount(); }

    SerialStreamParser& Parser() { return parser_; }
    const SerialStreamParser& Parser() const { return parser_; }
    const LinkState& State() const { return link_; }
    // Bytes received and not yet taken by a poll.
    qint64 BytesWaiting() const { return port_.isOpen() ? port_.bytesAvailable() : 0; }
    // Bursts dropped whole by the poll, and their bytes.
    std::uint64_t BurstsDropped() const { return burstsDropped_; }
    std::uint64_t BurstBytesDropped() const { return burstBytesDropped_; }

private:
    void OnPortError(QSerialPort::SerialPortError error);

    FormModel& form_;
    const StationConfig& config_;
    LinkState& link_;
    SerialStreamParser parser_;
    QSerialPort port_;
    QString deviceOverride_;
    std::array<char, kChunkSize> rxChunk_{};
    // The port reported a failure and is about to be closed.
    bool failed_ = false;
    // Counts opens, so a close queued after an error never closes a port opened later.
    std::uint64_t openCount_ = 0;
    std::uint64_t burstsDropped_ = 0;
    std::uint64_t burstBytesDropped_ = 0;
};

}  // namespace noxa
