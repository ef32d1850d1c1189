#pragma once

namespace noxa::test {

// Switches the process to a German locale (decimal comma, day-first dates), compiling it into
// a private folder when the system does not have it. Returns false when that is impossible;
// the caller then skips. RestoreCLocale() switches back.
bool UseCommaLocale();
void RestoreCLocale();

}  // namespace noxa::test
