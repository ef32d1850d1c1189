#pragma once

#include <string>

namespace noxa {

// How many web connections the open-files limit leaves room for. Raises the process's soft
// limit to its hard limit first; then counts what is open already, keeps a reserve for the
// station's own files and `refusalSlots` for connections being turned away. `note` says why
// the number is below `wanted`, and is empty when it is not.
int ConnectionsThatFit(int wanted, int refusalSlots, std::string& note);

}  // namespace noxa
