#include "app/station_folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace noxa {
namespace {

std::string LockPath(const WorkDir& folder) {
    return folder.Path(StationFolderLock::kFileName);
}

// The process id written in the file; 0 when there is none to read.
long ReadHolder(int fd) {
    char text[32] = {};
    const ssize_t n = pread(fd, text, sizeof text - 1, 0);
    return n > 0 ? std::strtol(text, nullptr, 10) : 0;
}

}  // namespace

StationFolderLock::~StationFolderLock() {
    if (fd_ >= 0) close(fd_);  // closing drops the lock; the file stays for the next start
}

std::optional<long> StationFolderLock::Take(const WorkDir& folder) {
    // The lock is held on a descriptor open for reading only, so that the station's folder can
    // still be remounted read-only under it; the id is written through one of its own.
    const int fd = open(LockPath(folder).c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return std::nullopt;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const long holder = ReadHolder(fd);
        close(fd);
        return holder;
    }
    const std::string pid = std::to_string(getpid()) + "\n";
    // Should the id not be written, the lock holds all the same; "--set" then names no id.
    const int writer = open(LockPath(folder).c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (writer >= 0) {
        (void)!write(writer, pid.data(), pid.size());
        close(writer);
    }
    fd_ = fd;
    return std::nullopt;
}

std::optional<long> StationFolderLock::Holder(const WorkDir& folder) {
    const int fd = open(LockPath(folder).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::optional<long> holder;
    if (flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK) holder = ReadHolder(fd);
    close(fd);
    return holder;
}

}  // namespace noxa
