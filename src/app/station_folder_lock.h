#pragma once

#include "core/work_dir.h"

#include <optional>

namespace noxa {

// The mark a running station holds in its folder ("noxa-station.lock", its process id inside,
// under an advisory lock the system drops when the process ends), so that "--set" can tell
// that a station there runs on the settings it read at its start.
class StationFolderLock {
public:
    static constexpr const char* kFileName = "noxa-station.lock";

    StationFolderLock() = default;
    ~StationFolderLock();
    StationFolderLock(const StationFolderLock&) = delete;
    StationFolderLock& operator=(const StationFolderLock&) = delete;

    // Takes the mark in `folder`. Returns the process id of another station that holds it;
    // nothing when this one holds it now, or when the folder takes no file (no station can be
    // told apart there, which is no reason not to run).
    std::optional<long> Take(const WorkDir& folder);

    // The process id of a station holding the mark of `folder`, if one does.
    static std::optional<long> Holder(const WorkDir& folder);

private:
    int fd_ = -1;
};

}  // namespace noxa
