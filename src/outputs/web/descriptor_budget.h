#pragma once

#include <string>

namespace noxa {

// Descriptors the web server leaves free, while it runs, for the station's own files.
constexpr long kFreeDescriptorsKept = 32;

// How many web connections the open-files limit leaves room for. Raises the process's soft
// limit to its hard limit first; then counts what is open already, keeps a reserve for the
// station's own files and `refusalSlots` for connections being turned away. `note` says why
// the number is below `wanted`, and is empty when it is not.
int ConnectionsThatFit(int wanted, int refusalSlots, std::string& note);

// Descriptors that can still be opened under the soft limit (0 when not even the list of the
// open ones can be read); a large number where the system sets no limit.
long FreeDescriptors();
// The same bound from the number of a descriptor just opened: the system gives the lowest
// free number, so every one below it is taken.
long FreeDescriptorsAbove(long newest);
// The soft open-files limit, or -1 when there is none.
long OpenFilesLimit();

}  // namespace noxa
