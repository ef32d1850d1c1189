#pragma once

#include "core/settings.h"
#include "outputs/common/safety_rule.h"

#include <vector>

namespace noxa {

// The safety limits' settings, and the limits as the user set them.
const std::vector<SettingSpec>& SafetySettingSpecs();
SafetyLimits ReadSafetyLimits(const Settings& settings);

}  // namespace noxa
