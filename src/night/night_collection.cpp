#include "night/night_collection.h"

#include <algorithm>

namespace noxa {

void NightCollection::Add(std::vector<Night> nights) {
    for (Night& night : nights) {
        auto [at, added] = nights_.try_emplace({night.date, night.instrument}, std::move(night));
        if (added) continue;
        std::vector<NightSample>& samples = at->second.samples;
        samples.insert(samples.end(), night.samples.begin(), night.samples.end());
    }
}

std::vector<Night> NightCollection::Take(std::map<std::string, int>& repeated) {
    const auto earlier = [](const NightSample& a, const NightSample& b) { return a.time < b.time; };
    const auto sameTime = [](const NightSample& a, const NightSample& b) {
        return a.time == b.time;
    };
    std::vector<Night> nights;
    nights.reserve(nights_.size());
    for (auto& [key, night] : nights_) {
        std::vector<NightSample>& samples = night.samples;
        if (!std::is_sorted(samples.begin(), samples.end(), earlier))
            std::stable_sort(samples.begin(), samples.end(), earlier);
        const auto end = std::unique(samples.begin(), samples.end(), sameTime);
        if (end != samples.end()) {
            repeated[night.instrument] += int(samples.end() - end);
            samples.erase(end, samples.end());
        }
        nights.push_back(std::move(night));
    }
    nights_.clear();
    return nights;
}

}  // namespace noxa
