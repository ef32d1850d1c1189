#include "outputs/web/descriptor_budget.h"

#include <QDir>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

namespace noxa {
namespace {

// Descriptors kept free for the station's files (data file, snapshot, images, night files),
// its links and whatever a library opens on the way.
constexpr long kStationReserve = 64;

// Descriptors open now, or a generous guess where the system does not list them.
long OpenNow() {
    const QDir fds(QStringLiteral("/proc/self/fd"));
    const long listed = static_cast<long>(
        fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size());
    return listed > 0 ? listed : 32;
}

}  // namespace

int ConnectionsThatFit(int wanted, int refusalSlots, std::string& note) {
    note.clear();
#ifdef Q_OS_UNIX
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return wanted;
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
    }
    if (limit.rlim_cur == RLIM_INFINITY) return wanted;
    const long room =
        static_cast<long>(limit.rlim_cur) - OpenNow() - kStationReserve - refusalSlots;
    if (room >= wanted) return wanted;
    const int fit = static_cast<int>(std::max(1L, room));
    note = "Web server: at most " + std::to_string(fit) + " connections instead of " +
           std::to_string(wanted) + ", as the open-files limit is " +
           std::to_string(limit.rlim_cur) + " (ulimit -n).";
    return fit;
#else
    return wanted;
#endif
}

}  // namespace noxa
