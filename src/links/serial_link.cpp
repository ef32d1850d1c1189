#include "links/serial_link.h"

#include <QMetaObject>

#include <algorithm>

namespace noxa {

SerialLink::SerialLink(SerialStreamParser& framing) : framing_(framing) {
    // The poll is the only reader; the port only buffers, within bounds, what arrives.
    port_.setReadBufferSize(kQueueSize);
    connect(&port_, &QSerialPort::errorOccurred, this, &SerialLink::OnPortError);
}

SerialLink::~SerialLink() {
    // Errors of the final close are of no interest any more.
    disconnect(&port_, nullptr, this, nullptr);
    if (port_.isOpen()) port_.close();
}

QString SerialLink::DeviceName(std::int32_t portNumber) {
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(portNumber);
#else
    return QStringLiteral("/dev/ttyS%1").arg(static_cast<qint64>(portNumber) - 1);
#endif
}

bool SerialLink::OpenSerialPort(std::int32_t portNumber) {
    // Callers close first; a port still open is closed here all the same, since it cannot
    // be opened twice.
    CloseSerialPort();
    if (portNumber <= 0) {
        // No port is configured: nothing is opened and the link does not count as failed.
        return true;
    }
    devicePath_ = deviceOverride_.isEmpty() ? DeviceName(portNumber) : deviceOverride_;
    port_.setPortName(devicePath_);
    port_.setBaudRate(QSerialPort::Baud9600);
    port_.setDataBits(QSerialPort::Data8);
    port_.setParity(QSerialPort::NoParity);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    // The device is opened non-blocking, so a missing or busy port fails at once.
    const bool opened = port_.open(QIODevice::ReadWrite);
    openFailure_ = opened ? QString() : port_.errorString();
    ++openCount_;
    failed_ = false;
    return opened;
}

void SerialLink::CloseSerialPort() {
    // Closing a device that went away can report errors of its own; they find the port
    // closing and are settled by the lines after the close.
    if (port_.isOpen()) port_.close();
    failed_ = false;
    ++openCount_;
}

void SerialLink::OnPortError(QSerialPort::SerialPortError error) {
    switch (error) {
        case QSerialPort::NoError:
        case QSerialPort::NotOpenError:
        case QSerialPort::TimeoutError:
            return;
        default:
            break;
    }
    // Open failures arrive here too; the port is then not open and there is nothing to do.
    if (!port_.isOpen() || failed_) return;
    // A device that went away reports errors until it is closed. The close runs once the
    // port's own handler has returned; until then the poll already treats the port as gone.
    failed_ = true;
    const std::uint64_t openCount = openCount_;
    QMetaObject::invokeMethod(
        this,
        [this, openCount] {
            if (openCount != openCount_) return;  // closed or reopened in the meantime
            CloseSerialPort();
        },
        Qt::QueuedConnection);
}

void SerialLink::PollSerialPort() {
    if (!IsOpen()) return;
    const qint64 waiting = std::min(port_.bytesAvailable(), kChunkSize);
    if (waiting <= 0) return;
    const qint64 read = port_.read(rxChunk_.data(), waiting);
    if (waiting >= kBurstLimit) {
        // More than the instrument can send between two polls: thrown away whole.
        ++burstsDropped_;
        burstBytesDropped_ += static_cast<std::uint64_t>(std::max<qint64>(read, 0));
        return;
    }
    if (read > 0) {
        framing_.AppendToRing(std::string_view(rxChunk_.data(), static_cast<std::size_t>(read)));
    }
    // Fed text waiting in the ring is parsed here as well, even when the read failed.
    framing_.ParsePending();
}

bool SerialLink::Write(std::string_view bytes) {
    if (!port_.isOpen() || failed_) return false;
    const qint64 size = static_cast<qint64>(bytes.size());
    const bool taken = port_.write(bytes.data(), size) == size;
    // Hands the bytes to the device now, as far as it takes them without waiting.
    port_.flush();
    return taken;
}

}  // namespace noxa
