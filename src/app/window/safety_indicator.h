#pragma once

#include <QLabel>

namespace noxa {

class SafetyRule;

namespace window {

// The safety rule's verdict in the window's status bar, below the pages: green "Sky safe", or
// red "Sky unsafe" with the reason.
class SafetyIndicator : public QLabel {
    Q_OBJECT

public:
    SafetyIndicator(const SafetyRule& rule, QWidget* parent = nullptr);

private:
    void Show();

    const SafetyRule& rule_;
};

}  // namespace window
}  // namespace noxa
