#pragma once

#include "core/output.h"

namespace noxa {

// The station as Alpaca devices on the web server, found by Alpaca clients' discovery: on
// whenever the web server is.
OutputKind AlpacaOutput();

}  // namespace noxa
