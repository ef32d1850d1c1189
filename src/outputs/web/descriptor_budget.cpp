#include "outputs/web/descriptor_budget.h"

#include <QDir>

#include <algorithm>
#include <limits>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

namespace noxa {
namespace {

// Descriptors kept free at start-up for the station's files (data file, snapshot, images,
// night files), its links and whatever a library opens on the way.
constexpr long kStationReserve = 64;

constexpr long kUnknown = -2;

// Descriptors open now; -1 when they cannot be listed (with none free, not even the list can
// be opened), kUnknown where the system does not list them.
long OpenNow() {
    const QDir fds(QStringLiteral("/proc/self/fd"));
    if (!fds.exists()) return kUnknown;
    const qsizetype listed =
        fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size();
    return listed > 0 ? static_cast<long>(listed) : -1;
}

}  // namespace

long OpenFilesLimit() {
#ifdef Q_OS_UNIX
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return -1;
    return static_cast<long>(std::min<rlim_t>(limit.rlim_cur, std::numeric_limits<long>::max()));
#else
    return -1;
#endif
}

long FreeDescriptors() {
    const long limit = OpenFilesLimit();
    if (limit < 0) return std::numeric_limits<long>::max();
    const long open = OpenNow();
    if (open == kUnknown) return std::numeric_limits<long>::max();
    return open < 0 ? 0 : std::max(0L, limit - open);
}

long FreeDescriptorsAbove(long newest) {
    const long limit = OpenFilesLimit();
    return limit < 0 ? std::numeric_limits<long>::max() : std::max(0L, limit - newest - 1);
}

int ConnectionsThatFit(int wanted, int refusalSlots, std::string& note) {
    note.clear();
#ifdef Q_OS_UNIX
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &raised);
    }
#endif
    const long soft = OpenFilesLimit();
    if (soft < 0) return wanted;
    const long open = OpenNow();
    const long room = soft - (open < 0 ? 32 : open) - kStationReserve - refusalSlots;
    if (room >= wanted) return wanted;
    const int fit = static_cast<int>(std::max(1L, room));
    note = "Web server: at most " + std::to_string(fit) + " connections instead of " +
           std::to_string(wanted) + ", as the open-files limit is " + std::to_string(soft) +
           " (ulimit -n).";
    return fit;
}

}  // namespace noxa
