#include "outputs/web/gentle_close.h"

#include <QObject>
#include <QTcpSocket>
#include <QTimer>

#ifdef Q_OS_WIN
#include <winsock2.h>
#else
#include <sys/socket.h>
#endif

namespace noxa {
namespace {

// Closes the sending half once the answers are out. A child of the socket, so it goes with it.
class GentleCloser : public QObject {
public:
    GentleCloser(QTcpSocket& socket, int lingerMs) : QObject(&socket), socket_(socket) {
        connect(&socket_, &QTcpSocket::bytesWritten, this, &GentleCloser::ShutWhenSent);
        connect(&socket_, &QTcpSocket::readyRead, this,
                [this] { socket_.skip(socket_.bytesAvailable()); });
        QTimer::singleShot(lingerMs, this, [this] { socket_.abort(); });
        ShutWhenSent();
    }

private:
    void ShutWhenSent() {
        if (shut_) return;
        socket_.flush();
        if (socket_.bytesToWrite() > 0) return;
        shut_ = true;
#ifdef Q_OS_WIN
        ::shutdown(static_cast<SOCKET>(socket_.socketDescriptor()), SD_SEND);
#else
        ::shutdown(static_cast<int>(socket_.socketDescriptor()), SHUT_WR);
#endif
        socket_.skip(socket_.bytesAvailable());
    }

    QTcpSocket& socket_;
    bool shut_ = false;
};

}  // namespace

void CloseGently(QTcpSocket& socket, int lingerMs) {
    if (socket.state() != QAbstractSocket::ConnectedState) {
        socket.abort();
        return;
    }
    new GentleCloser(socket, lingerMs);
}

}  // namespace noxa
