#pragma once

#include <QColor>
#include <QString>
#include <Qt>

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QWidget;

// Builders for the window's components. A named component gets its component name as its
// objectName: the form binding and the station's handlers find it by that name. Texts of
// labels and edits that the form model holds are left to the binding.
namespace noxa::window {

// A framed panel that groups a few related components.
QFrame* Panel(const char* name);

// A caption beside a value ("Mag. V:"), with its hint when it has one.
QLabel* Heading(const QString& text, const QString& hint = {});

// A label whose text the form model holds.
QLabel* ValueLabel(const char* name, const QString& hint = {});

// A value label drawn in a larger bold font, wide enough for `widestText` so that the layout
// does not move when the value changes.
QLabel* BigValueLabel(const char* name, int pointSize, const QColor& colour,
                      const QString& widestText, const QString& hint = {});

// An edit field whose text the form model holds, about `chars` characters wide.
QLineEdit* Edit(const char* name, int chars);

QPushButton* Button(const char* name, const QString& caption, const QString& hint = {});
QCheckBox* CheckBox(const char* name, const QString& caption, const QString& hint = {});
QProgressBar* Gauge(const char* name, Qt::Orientation orientation, int minimum, int maximum);

// A smaller, bold caption naming a whole panel ("Coordenadas").
QLabel* PanelTitle(const QString& text);

}  // namespace noxa::window
