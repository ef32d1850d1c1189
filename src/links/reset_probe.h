#pragma once

#include <QtGlobal>

namespace noxa {

// Tells a connection the peer reset from one it closed politely. Qt reports both as
// RemoteHostClosedError and closes its descriptor at once; a second descriptor of the same
// connection, taken when it was established, keeps the kernel's TCP state readable after that:
// a reset leaves the connection CLOSED, a polite close CLOSE_WAIT.
class ResetProbe {
public:
    ResetProbe() = default;
    ResetProbe(const ResetProbe&) = delete;
    ResetProbe& operator=(const ResetProbe&) = delete;
    ~ResetProbe() { Release(); }

    // Starts watching the connected socket `descriptor`.
    void Watch(qintptr descriptor);
    // Whether the watched connection was reset by its peer.
    bool WasReset() const;
    // Lets go of the connection; call once it is closed.
    void Release();

private:
    int descriptor_ = -1;
};

}  // namespace noxa
