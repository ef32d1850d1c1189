#include "app/window/components.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

namespace noxa::window {
namespace {

template <typename Widget>
Widget* Named(Widget* widget, const char* name, const QString& hint) {
    widget->setObjectName(QLatin1String(name));
    if (!hint.isEmpty()) widget->setToolTip(hint);
    return widget;
}

}  // namespace

QFrame* Panel(const char* name) {
    auto* panel = Named(new QFrame, name, {});
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setFrameShadow(QFrame::Raised);
    return panel;
}

QLabel* Heading(const QString& text, const QString& hint) {
    auto* label = new QLabel(text);
    label->setTextFormat(Qt::PlainText);
    if (!hint.isEmpty()) label->setToolTip(hint);
    return label;
}

QLabel* ValueLabel(const char* name, const QString& hint) {
    auto* label = Named(new QLabel, name, hint);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QLabel* BigValueLabel(const char* name, int pointSize, const QColor& colour,
                      const QString& widestText, const QString& hint) {
    QLabel* label = ValueLabel(name, hint);
    QFont font = label->font();
    font.setPointSize(pointSize);
    font.setBold(true);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    label->setMinimumWidth(QFontMetrics(font).horizontalAdvance(widestText) + 8);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

QLineEdit* Edit(const char* name, int chars) {
    auto* edit = Named(new QLineEdit, name, {});
    const QFontMetrics metrics(edit->font());
    edit->setFixedWidth(metrics.horizontalAdvance(QString(chars, QLatin1Char('0'))) + 16);
    return edit;
}

QPushButton* Button(const char* name, const QString& caption, const QString& hint) {
    return Named(new QPushButton(caption), name, hint);
}

QCheckBox* CheckBox(const char* name, const QString& caption, const QString& hint) {
    return Named(new QCheckBox(caption), name, hint);
}

QProgressBar* Gauge(const char* name, Qt::Orientation orientation, int minimum, int maximum) {
    auto* bar = Named(new QProgressBar, name, {});
    bar->setOrientation(orientation);
    bar->setRange(minimum, maximum);
    bar->setValue(minimum);
    bar->setTextVisible(false);
    return bar;
}

QLabel* PanelTitle(const QString& text) {
    QLabel* label = Heading(text);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

}  // namespace noxa::window
