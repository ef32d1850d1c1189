#include "app/recording_edits.h"

#include "core/c_numbers.h"
#include "core/form_model.h"
#include "recording/recorder.h"

#include <QObject>

namespace noxa {

void FollowRecordingEdits(FormModel& form, Recorder& recorder, QObject& context) {
    const auto interval = [&form, &recorder] {
        recorder.SetIntervalSeconds(CAtol(form.Text(FormText::Esalto)));
    };
    const auto enabled = [&form, &recorder] {
        recorder.SetEnabled(form.Checked(FormCheck::CBGuardar));
    };
    interval();
    enabled();
    form.WatchText(FormText::Esalto, context, interval);
    QObject::connect(&form, &FormModel::checkChanged, &context, [enabled](FormCheck id) {
        if (id == FormCheck::CBGuardar) enabled();
    });
}

}  // namespace noxa
