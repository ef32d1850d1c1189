#include "recording/data_file.h"

#include "core/c_numbers.h"
#include "core/observation_feed.h"
#include "core/station_locale.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace noxa {
namespace {

constexpr char kHeaderChannels[] =
    "\r\n#  C1: 740, C2: 640, C3: Red, C4: Blue. (Frec-G = Frec640 - FrecR - FrecB) \r\n";

// One channel group: mean frequency (one decimal above 50 Hz, three below, same width) and
// mean magnitude; "0.0\t 0.0\t" when the group had no reports.
void AppendGroup(std::string& line, double frequency, double magnitude, std::int32_t reports) {
    if (reports <= 0) {
        line += "0.0\t 0.0\t";
        return;
    }
    line += CFormat(frequency > 50 ? "%07.1f\t" : "%06.3f\t", frequency);
    line += CFormat("%05.2f\t", magnitude);
}

}  // namespace

DataFileWriter::DataFileWriter(StationIdentitySource identity, const StationLocale& locale,
                               WorkDir dir, ObservationFeed& feed, Log log)
    : identity_(std::move(identity)), locale_(locale), dir_(std::move(dir)), log_(std::move(log)) {
    connect(&feed, &ObservationFeed::recorded, this, &DataFileWriter::Write);
}

std::string DataFileWriter::Line(const IntervalRecord& r) const {
    std::string line = locale_.ShortDate(r.localEnd.date());
    line += '\t';
    line += locale_.LongTime(r.localEnd.time());
    line += '\t';
    for (const ChannelMeans& channel : r.channels)
        AppendGroup(line, channel.freq, channel.mag, channel.reports);
    line += CFormat("%04.1f\t", r.dayTableSensorTemperature);
    line += CFormat("%05.2f\t", r.dayTableSkyTemperature);
    line += "\r\n";
    return line;
}

std::string DataFileWriter::HeaderLines(const StationIdentity& identity) {
    std::string header = "# " + identity.name;
    for (const std::string& constant : identity.instrumentConstants) {
        header += '\t';
        header += constant;
    }
    header += kHeaderChannels;
    header += kDataFileColumnsLine;
    header += "\r\n";
    return header;
}

std::string DataFileName(const std::string& station, QDate date) {
    char monthYear[16];
    std::snprintf(monthYear, sizeof monthYear, "_%02d_%04d", date.month(), date.year());
    std::string name = station + monthYear + ".csv";
    std::replace(name.begin(), name.end(), '/', '_');
    return name;
}

void DataFileWriter::Write(const IntervalRecord& record) {
    const std::string line = Line(record);

    // The file is opened by the name's own bytes, whatever they are (a station name may hold
    // 8-bit characters that are no UTF-8), so that the file on disk carries the name that the
    // header and the log show.
    const StationIdentity identity = identity_();
    const std::string name = DataFileName(identity.name, record.localEnd.date());
    struct stat status {};
    const std::string path = dir_.Path(name);
    const bool existed = ::stat(path.c_str(), &status) == 0;
    const int flags = O_WRONLY | O_APPEND | O_CLOEXEC | (existed ? 0 : O_CREAT | O_EXCL);
    const int fd = ::open(path.c_str(), flags, 0666);
    if (fd < 0) {
        Failed(name, errno);
        return;
    }
    std::string text;
    if (!existed) {
        text = HeaderLines(identity);
        log_.Info("Created data file: " + name);
    }
    text += line;

    // A line either reaches the file whole or not at all: a failed write is cut back off, and a
    // file this call created is removed, so the next record writes its header again.
    const off_t sizeBefore = ::lseek(fd, 0, SEEK_END);
    std::size_t done = 0;
    int error = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            error = n < 0 ? errno : ENOSPC;
            break;
        }
    }
    if (error == 0) {
        ::close(fd);
        log_.Debug("Data line written to " + name);
        if (failures_.Succeeded()) log_.Info("Data lines written to " + name + " again");
        return;
    }
    if (!existed) {
        ::unlink(path.c_str());
    } else if (sizeBefore >= 0 && ::ftruncate(fd, sizeBefore) != 0) {
        // A file that cannot be cut (a device) keeps whatever part reached it.
    }
    ::close(fd);
    Failed(name, error);
}

void DataFileWriter::Failed(const std::string& name, int error) {
    const std::string line = "Data line not written to " + name + ": " + std::strerror(error);
    if (failures_.Failed(line)) log_.Error(line);
}

}  // namespace noxa
