#pragma once

class QTcpSocket;

namespace noxa {

// Ends a connection as RFC 9112 asks of a server: sends what is left to send, closes only the
// sending half, then reads and drops whatever the client still sends until it closes its half
// too or `lingerMs` pass. Closing at once with unread bytes would make the system answer them
// with a reset, which can destroy the last answer before the client has read it. The socket
// emits disconnected() at the end; nothing more must be written to it.
void CloseGently(QTcpSocket& socket, int lingerMs);

}  // namespace noxa
