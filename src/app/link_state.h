#pragma once

namespace noxa {

// Whether the instrument link is usable: written by the serial open and by the handlers of TCP
// socket 1, read by the instrument commands, which send nothing while it is false.
struct LinkState {
    bool linkOpen = false;
};

}  // namespace noxa
