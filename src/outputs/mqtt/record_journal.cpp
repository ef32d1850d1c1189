#include "outputs/mqtt/record_journal.h"

#include "outputs/mqtt/record_json.h"

#include <QFile>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <map>

#include <fcntl.h>
#include <unistd.h>

namespace noxa {
namespace {

constexpr char kHeader[] = "# noxa-station records on their way to the archives\n";
constexpr std::size_t kSmallestRewrite = 256;

std::optional<UtcMilliseconds> Milliseconds(const QByteArray& text) {
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok);
    return ok ? std::optional<UtcMilliseconds>(value) : std::nullopt;
}

QByteArray Line(char kind, const QByteArray& text) {
    return QByteArray(1, kind) + ' ' + text + '\n';
}

}  // namespace

RecordJournal::RecordJournal(std::string path, Log log)
    : path_(std::move(path)), log_(std::move(log)) {}

RecordJournal::~RecordJournal() {
    Close();
}

void RecordJournal::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

JournalContents RecordJournal::Load() {
    JournalContents contents;
    QFile file(QFile::decodeName(QByteArray::fromStdString(path_)));
    if (!file.exists()) return contents;
    if (!file.open(QIODevice::ReadOnly)) {
        Failed("cannot be read: " + file.errorString().toStdString());
        return contents;
    }
    QList<QByteArray> lines = file.readAll().split('\n');
    const bool torn = !lines.isEmpty() && !lines.back().isEmpty();
    lines.removeLast();  // a cut-off line, or the empty text after the last '\n'
    std::map<UtcMilliseconds, QByteArray> held;
    int unreadable = 0;
    for (const QByteArray& line : lines) {
        const QByteArray text = line.mid(2);
        std::optional<UtcMilliseconds> end;
        if (line.startsWith("R ")) {
            if (const auto chain = ReadRecordChain(text)) held[end.emplace(chain->end)] = text;
        } else if (line.startsWith("D ")) {
            if ((end = Milliseconds(text))) held.erase(*end);
        } else if (line.startsWith("L ")) {
            end = Milliseconds(text);
        } else if (line.startsWith("A ") || line.startsWith("X ")) {
            const std::string archive = QByteArray::fromPercentEncoding(text).toStdString();
            if (line[0] == 'A') {
                contents.archives.insert(archive);
            } else {
                contents.archives.erase(archive);
            }
            continue;
        } else if (line.isEmpty() || line.startsWith('#')) {
            continue;
        }
        if (!end) ++unreadable;
        if (end && (!contents.lastEnd || *end > *contents.lastEnd)) contents.lastEnd = end;
    }
    if (torn) log_.Warning("Record journal " + path_ + ": a last line cut off was ignored.");
    if (unreadable > 0) {
        log_.Warning("Record journal " + path_ + ": " + std::to_string(unreadable) +
                     " unreadable line(s) ignored.");
    }
    for (auto& [end, json] : held) contents.records.push_back(std::move(json));
    lines_ = static_cast<std::size_t>(lines.size());
    if (torn || unreadable > 0) Rewrite(contents.records, contents.lastEnd, contents.archives);
    return contents;
}

bool RecordJournal::Append(const QByteArray& json) {
    return Write(Line('R', json), true);
}

void RecordJournal::MarkDone(const std::vector<UtcMilliseconds>& ends) {
    QByteArray lines;
    for (const UtcMilliseconds end : ends) lines += Line('D', QByteArray::number(end));
    if (!lines.isEmpty()) Write(lines, false);
}

bool RecordJournal::Wasteful(std::size_t held) const {
    return lines_ > kSmallestRewrite && lines_ > 4 * held;
}

void RecordJournal::NoteArchive(const std::string& archive, bool confirms) {
    Write(Line(confirms ? 'A' : 'X', QByteArray::fromStdString(archive).toPercentEncoding()), true);
}

bool RecordJournal::Rewrite(const std::vector<QByteArray>& records,
                            std::optional<UtcMilliseconds> lastEnd,
                            const std::set<std::string>& archives) {
    QSaveFile file(QFile::decodeName(QByteArray::fromStdString(path_)));
    QByteArray text = kHeader;
    if (lastEnd) text += Line('L', QByteArray::number(*lastEnd));
    for (const std::string& archive : archives)
        text += Line('A', QByteArray::fromStdString(archive).toPercentEncoding());
    for (const QByteArray& json : records) text += Line('R', json);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        Failed("cannot be rewritten: " + file.errorString().toStdString());
        return false;
    }
    Close();  // the next line goes to the new file
    cutOff_ = false;
    lines_ = records.size() + archives.size() + (lastEnd ? 2 : 1);
    Succeeded();
    return true;
}

bool RecordJournal::Write(const QByteArray& text, bool sync) {
    // After a failed write the file may end in half a line, which must stay a line of its own.
    const QByteArray lines = cutOff_ ? '\n' + text : text;
    if (fd_ < 0) {
        fd_ = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
        if (fd_ < 0) {
            Failed(std::string("cannot be opened: ") + std::strerror(errno));
            return false;
        }
    }
    qsizetype done = 0;
    while (done < lines.size()) {
        const ssize_t n = ::write(fd_, lines.constData() + done, std::size_t(lines.size() - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            Failed(std::string("cannot be written: ") + std::strerror(n < 0 ? errno : ENOSPC));
            cutOff_ = done > 0 || cutOff_;
            Close();
            return false;
        }
        done += n;
    }
    if (sync && ::fdatasync(fd_) != 0) {
        Failed(std::string("cannot be synced: ") + std::strerror(errno));
        return false;
    }
    cutOff_ = false;
    lines_ += static_cast<std::size_t>(lines.count('\n'));
    Succeeded();
    return true;
}

void RecordJournal::Failed(const std::string& what) {
    if (failing_) return;
    failing_ = true;
    log_.Error("Record journal " + path_ + " " + what +
               "; records are sent but a restart may lose those not yet done.");
}

void RecordJournal::Succeeded() {
    if (!failing_) return;
    failing_ = false;
    log_.Info("Record journal " + path_ + " is written again.");
}

}  // namespace noxa
