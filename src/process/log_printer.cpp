#include "process/log_printer.h"

#include <sys/stat.h>

#include <cinttypes>

namespace noxa {
namespace {

// The journal's syslog priorities.
const char* PriorityPrefix(LogLevel level) {
    switch (level) {
        case LogLevel::Error:
            return "<3>";
        case LogLevel::Warning:
            return "<4>";
        case LogLevel::Info:
            return "<6>";
        case LogLevel::Debug:
            return "<7>";
    }
    return "";
}

}  // namespace

bool IsJournalStream(int fd, const char* journalStream) {
    if (journalStream == nullptr) return false;
    std::uintmax_t device = 0, inode = 0;
    if (std::sscanf(journalStream, "%" SCNuMAX ":%" SCNuMAX, &device, &inode) != 2) return false;
    struct stat status {};
    if (fstat(fd, &status) != 0) return false;
    return status.st_dev == device && status.st_ino == inode;
}

std::function<void(LogLevel, const std::string&)> LogPrinter(std::FILE* out) {
    const bool journal = IsJournalStream(fileno(out), std::getenv("JOURNAL_STREAM"));
    return [out, journal](LogLevel level, const std::string& line) {
        if (journal) std::fputs(PriorityPrefix(level), out);
        std::fwrite(line.data(), 1, line.size(), out);
        std::fputc('\n', out);
        std::fflush(out);
    };
}

}  // namespace noxa
