#pragma once

#include <QString>

#include <set>
#include <string>
#include <utility>

namespace noxa {

// Which kinds of unreadable payload each station sent, so that each is said once.
class FaultLog {
public:
    // True the first time `station` sends a payload with this fault.
    bool First(const QString& station, const std::string& fault) {
        if (seen_.size() >= kMostRemembered) return false;
        return seen_.emplace(station.left(kMostIdCharacters), fault).second;
    }

private:
    // Station ids come from the network: what is remembered of them is bounded.
    static constexpr std::size_t kMostRemembered = 10000;
    static constexpr qsizetype kMostIdCharacters = 128;
    std::set<std::pair<QString, std::string>> seen_;
};

}  // namespace noxa
