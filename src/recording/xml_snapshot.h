#pragma once

#include "core/failure_state.h"
#include "core/work_dir.h"

#include <string>

namespace noxa {

class FormModel;
class StationClock;
class StationLocale;

// "noxa.xml": one line holding the values the window shows, for other programs that want the
// latest reading without talking to the station. Rewritten every tenth tick.
class XmlSnapshot {
public:
    static constexpr const char* kFileName = "noxa.xml";

    XmlSnapshot(FormModel& form, const StationClock& clock, const StationLocale& locale,
                WorkDir dir);

    // The document as it stands now (the time is read before the date).
    std::string Compose() const;

    // Replaces the file with the document as a whole, so a reader never meets half a document.
    // Logs "Created file: noxa.xml" when the file is new; a failure is logged once until a
    // write succeeds again.
    void WriteXmlSnapshot();

private:
    FormModel& form_;
    const StationClock& clock_;
    const StationLocale& locale_;
    const WorkDir dir_;
    FailureState failures_;
};

}  // namespace noxa
