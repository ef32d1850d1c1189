#pragma once

#include <cstddef>
#include <cstdint>
#include <set>

namespace noxa {

// Which Alpaca clients connected one device, by the ClientID they send. Each client connects
// and disconnects only itself, so one leaving changes nothing for the others. Requests without
// a ClientID count as client 0, which every such client shares.
class AlpacaConnections {
public:
    // Enough for every imaging program of an observatory; a flood of made-up ids stops here.
    static constexpr std::size_t kMaxClients = 256;

    bool Connected(std::uint32_t client) const { return clients_.count(client) != 0; }

    // False, and nothing changes, when kMaxClients other clients are connected already.
    bool Connect(std::uint32_t client) {
        if (clients_.size() >= kMaxClients && !Connected(client)) return false;
        clients_.insert(client);
        return true;
    }

    void Disconnect(std::uint32_t client) { clients_.erase(client); }

private:
    std::set<std::uint32_t> clients_;
};

}  // namespace noxa
