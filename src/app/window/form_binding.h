#pragma once

#include "core/form_model.h"

#include <QObject>

#include <array>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QWidget;

namespace noxa::window {

// Keeps the window's widgets showing the form model: each label and edit named after a
// FormText shows its text, the check boxes their state, LRx the indicator colour, Memo1 the
// log and the window title the caption. What the user types into an edit and ticks in a check
// box goes back into the model at once, so the station always reads what is on screen.
// Build it after all widgets exist, and destroy it before them.
class FormBinding : public QObject {
    Q_OBJECT

public:
    FormBinding(FormModel& form, QWidget& window);

private:
    void BindText(FormText id);
    void BindCheck(FormCheck id);
    void BindLog();
    void ShowLogLine(LogLevel level, const std::string& line);
    void ShowText(FormText id);
    void ShowCheck(FormCheck id);
    void ShowRxColour();

    FormModel& form_;
    QWidget& window_;
    // Each text id is shown by exactly one of these: a label or an edit field.
    std::array<QLabel*, kFormTextCount> labels_{};
    std::array<QLineEdit*, kFormTextCount> edits_{};
    std::array<QCheckBox*, kFormCheckCount> checks_{};
    QPlainTextEdit* memo_ = nullptr;
};

}  // namespace noxa::window
