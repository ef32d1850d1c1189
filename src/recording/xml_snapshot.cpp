#include "recording/xml_snapshot.h"

#include "core/form_model.h"
#include "core/station_locale.h"
#include "recording/atomic_file.h"
#include "time/station_clock.h"

#include <QFile>

#include <string_view>

namespace noxa {
namespace {

// The texts come raw from the network; escaping keeps the document well-formed.
void AppendEscaped(std::string& out, std::string_view text) {
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            default:
                out += c;
        }
    }
}

struct Element {
    const char* name;
    FormText label;
};

const Element kLabelElements[] = {
    {"JD2000", FormText::LDiaJ2000}, {"ST", FormText::LHoraSideral}, {"MV740", FormText::Lmv},
    {"MV640", FormText::Lmv2},       {"MVR", FormText::LmvR},        {"MVG", FormText::LmvG},
    {"MVB", FormText::LmvB},         {"TAmb", FormText::Ltsensor},   {"TIR", FormText::Ltir},
};

void AppendElement(std::string& out, std::string_view name, std::string_view text) {
    out += '<';
    out += name;
    out += '>';
    AppendEscaped(out, text);
    out += "</";
    out += name;
    out += '>';
}

}  // namespace

XmlSnapshot::XmlSnapshot(FormModel& form, const StationClock& clock, const StationLocale& locale,
                         WorkDir dir)
    : form_(form), clock_(clock), locale_(locale), dir_(std::move(dir)) {}

std::string XmlSnapshot::Compose() const {
    const std::string time = locale_.LongTime(clock_.Now().time());
    const std::string date = locale_.ShortDate(clock_.Now().date());
    std::string document = "<NOXA> ";
    AppendElement(document, "Date", date);
    AppendElement(document, "Time", time);
    for (const Element& e : kLabelElements) AppendElement(document, e.name, form_.Text(e.label));
    document += "</NOXA>";
    return document;
}

void XmlSnapshot::WriteXmlSnapshot() {
    const std::string document = Compose();
    const QString path = dir_.File(kFileName);
    const bool existed = QFile::exists(path);
    QString error;
    if (!ReplaceFile(path, document, error)) {
        const std::string line = std::string(kFileName) + " not written: " + error.toStdString();
        if (failures_.Failed(line)) form_.AppendLog(LogLevel::Error, line);
        return;
    }
    if (failures_.Succeeded())
        form_.AppendLog(LogLevel::Info, std::string(kFileName) + " written again");
    if (!existed) form_.AppendLog(LogLevel::Info, std::string("Created file: ") + kFileName);
}

}  // namespace noxa
