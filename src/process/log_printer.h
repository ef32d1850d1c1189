#pragma once

#include "core/station_log.h"

#include <cstdio>
#include <functional>
#include <string>

namespace noxa {

// Prints the station's log lines to `out`, one a line, as they come. When `out` is a stream of
// the system journal, each line starts with its priority ("<3>" an error, "<4>" a warning, "<6>"
// info, "<7>" debug), which the journal takes as the line's level; elsewhere lines are plain.
std::function<void(LogLevel level, const std::string& line)> LogPrinter(std::FILE* out);

// Whether `fd` is the journal stream that `journalStream` ($JOURNAL_STREAM, "device:inode")
// names.
bool IsJournalStream(int fd, const char* journalStream);

}  // namespace noxa
