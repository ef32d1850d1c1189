#pragma once

#include "core/output.h"

namespace noxa {

// The dashboard, the JSON API and the metrics over HTTP: off unless a port is given. Other
// outputs mount their routes on it.
OutputKind WebOutput();

}  // namespace noxa
