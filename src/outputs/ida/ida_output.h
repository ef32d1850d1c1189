#pragma once

#include "core/output.h"

namespace noxa {

// A night file in the skyglow community's format for every night, in ida/: off unless turned on.
OutputKind IdaOutput();

}  // namespace noxa
