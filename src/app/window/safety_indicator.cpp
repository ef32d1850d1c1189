#include "app/window/safety_indicator.h"

#include "outputs/common/safety_rule.h"

namespace noxa::window {

SafetyIndicator::SafetyIndicator(const SafetyRule& rule, QWidget* parent)
    : QLabel(parent), rule_(rule) {
    setObjectName("SafetyIndicator");
    connect(&rule_, &SafetyRule::changed, this, &SafetyIndicator::Show);
    Show();
}

void SafetyIndicator::Show() {
    const bool safe = rule_.IsSafe();
    setText(safe ? QStringLiteral("Sky safe")
                 : QStringLiteral("Sky unsafe: %1").arg(QString::fromStdString(rule_.Reason())));
    setStyleSheet(safe ? QStringLiteral("QLabel { color: rgb(0, 128, 0); font-weight: bold; }")
                       : QStringLiteral("QLabel { color: rgb(200, 0, 0); font-weight: bold; }"));
}

}  // namespace noxa::window
