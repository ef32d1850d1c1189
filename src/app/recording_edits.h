#pragma once

class QObject;

namespace noxa {

class FormModel;
class Recorder;

// Keeps the recorder's settings those of the settings page: the record interval typed into
// Esalto (as atol reads it: text that is no number is 0, so every report is a record) and the
// CBGuardar check box, now and at every change, whether the user or the configuration made it.
// The connections live as long as `context`.
void FollowRecordingEdits(FormModel& form, Recorder& recorder, QObject& context);

}  // namespace noxa
