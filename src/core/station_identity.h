#pragma once

#include <array>
#include <functional>
#include <string>

namespace noxa {

// Who the station is, as its files name it.
struct StationIdentity {
    std::string name;  // as configured: 8-bit text
    // The instrument constants of channels 1 to 4 as the window shows them ("CI1: 20.37").
    std::array<std::string, 4> instrumentConstants;
};

// Asked whenever a file needs the identity: the user may change it at any time.
using StationIdentitySource = std::function<StationIdentity()>;

}  // namespace noxa
