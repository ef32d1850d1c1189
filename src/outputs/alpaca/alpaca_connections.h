#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>

namespace noxa {

// Which Alpaca clients connected one device, by the ClientID they send. Each client connects
// and disconnects only itself, so one leaving changes nothing for the others. Requests without
// a ClientID count as client 0, which every such client shares.
//
// Clients often end without saying goodbye (a script run from cron draws a new ClientID each
// time), so a client that has sent nothing for kQuietLimit is no longer connected, and when
// kMaxClients are connected a new client takes the place of the one quiet the longest: a new
// client is never refused.
class AlpacaConnections {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::size_t kMaxClients = 256;
    static constexpr auto kQuietLimit = std::chrono::hours(1);

    // Whether `client` is connected now; a request of a connected client keeps it so.
    bool Seen(std::uint32_t client, Clock::time_point now) {
        const auto at = clients_.find(client);
        if (at == clients_.end()) return false;
        if (now - at->second > kQuietLimit) {
            clients_.erase(at);
            return false;
        }
        at->second = now;
        return true;
    }

    void Connect(std::uint32_t client, Clock::time_point now) {
        if (!clients_.contains(client) && clients_.size() >= kMaxClients) {
            auto quietest = clients_.begin();
            for (auto at = clients_.begin(); at != clients_.end(); ++at) {
                if (at->second < quietest->second) quietest = at;
            }
            clients_.erase(quietest);
        }
        clients_[client] = now;
    }

    void Disconnect(std::uint32_t client) { clients_.erase(client); }

    std::size_t Count() const { return clients_.size(); }

private:
    std::map<std::uint32_t, Clock::time_point> clients_;
};

}  // namespace noxa
