#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace noxa {

class AutomationService;

// The question asked when the user closes the window while clients are still connected.
inline constexpr char kCloseWarningCaption[] = "COM Server Warning";
inline constexpr char kCloseWarningText[] =
    "There are still active COM objects in this application.  One or more clients may have "
    "references to these objects, so manually closing this application may cause those client "
    "application(s) to fail.\r\n\r\nAre you sure you want to close this application?";

// Asks a Yes/No question; true for "Yes".
using CloseQuestion =
    std::function<bool(QWidget* parent, const QString& caption, const QString& text)>;

// The warning box: warning icon, Yes and No, "No" the default; the CR LF pairs of the text
// shown as line breaks.
bool AskWithWarningBox(QWidget* parent, const QString& caption, const QString& text);

// The check a window runs before it closes: true (close) when no client is connected to the
// service, otherwise the answer to the warning question.
std::function<bool()> AutomationCloseCheck(const AutomationService& service, QWidget* parent,
                                           CloseQuestion ask = AskWithWarningBox);

}  // namespace noxa
