#pragma once

#include "core/output.h"

namespace noxa {

// At nautical dawn, the night's chart and its line of the summary, in night/: on unless turned
// off.
OutputKind NightChartsOutput();

}  // namespace noxa
