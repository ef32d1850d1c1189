#pragma once

#include <algorithm>
#include <optional>
#include <vector>

namespace noxa {

// The median of `values` (reordered in place): the mean of the two middle values of an even
// count; nothing for none.
inline std::optional<float> Median(std::vector<float>& values) {
    if (values.empty()) return std::nullopt;
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    float median = *middle;
    if (values.size() % 2 == 0) median = (median + *std::max_element(values.begin(), middle)) / 2;
    return median;
}

}  // namespace noxa
