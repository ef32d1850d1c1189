#pragma once

#include "core/observation.h"
#include "core/station_log.h"

#include <QByteArray>

#include <cstddef>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace noxa {

// What a journal held when it was read.
struct JournalContents {
    std::vector<QByteArray> records;  // the records' JSON, not done, oldest first
    std::optional<UtcMilliseconds> lastEnd;
    std::set<std::string> archives;  // the archives that confirm this station's records
};

// The records on their way to the archives, kept in a file of the station's folder so that
// neither a restart nor a kill loses one. One entry a line:
//   R <record JSON>   a record, written and synced to disk before it is sent;
//   D <end ms>        the record that ended then is done (or given up);
//   L <end ms>        the newest record's end, once its own line is gone (after a rewrite);
//   A <archive>       an archive confirms this station's records (its name percent-encoded);
//   X <archive>       the archive withdrew its confirmation;
//   # ...             a comment.
// Records are only appended; when done entries outnumber those still held, the file is
// rewritten whole (beside it, then renamed) with the held records alone. A last line cut off
// by a kill is ignored on reading, with a log line.
class RecordJournal {
public:
    RecordJournal(std::string path, Log log);
    ~RecordJournal();
    RecordJournal(const RecordJournal&) = delete;
    RecordJournal& operator=(const RecordJournal&) = delete;

    const std::string& Path() const { return path_; }
    // Reads the file (missing: empty); rewrites it when it held a cut-off or unreadable line.
    JournalContents Load();
    // Appends a record and syncs it to disk; false (said in the log once) when it cannot.
    bool Append(const QByteArray& json);
    // Notes records as done; these lines need no sync: one lost sends a record again.
    void MarkDone(const std::vector<UtcMilliseconds>& ends);
    // Whether done entries outweigh the `held` records enough for a rewrite.
    bool Wasteful(std::size_t held) const;
    // Notes that an archive began or stopped confirming records, synced: a restart must not
    // take a record for done that an archive still waits for.
    void NoteArchive(const std::string& archive, bool confirms);
    // Replaces the file with these records (oldest first), the newest end and the archives.
    bool Rewrite(const std::vector<QByteArray>& records, std::optional<UtcMilliseconds> lastEnd,
                 const std::set<std::string>& archives);

private:
    bool Write(const QByteArray& lines, bool sync);
    void Failed(const std::string& what);
    void Succeeded();
    void Close();

    std::string path_;
    Log log_;
    int fd_ = -1;
    std::size_t lines_ = 0;  // lines in the file
    bool failing_ = false;
    bool cutOff_ = false;  // a failed write may have left half a line
};

}  // namespace noxa
