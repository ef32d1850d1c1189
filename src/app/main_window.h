#pragma once

#include <QMainWindow>

#include <functional>
#include <memory>
#include <string>

namespace noxa {

class SafetyRule;
class Station;

namespace window {
class FormBinding;
}

// The station's one window: five pages of live readings, the two charts, the (hidden)
// calibration panels and the settings with the log. It is a view of the station's form model
// and charts; every component carries the name the station's handlers know it by. The station
// must outlive the window.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(Station& station, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Asked when the window is about to close; the window stays open when it returns false.
    void SetCloseCheck(std::function<bool()> mayClose) { closeCheck_ = std::move(mayClose); }

    // Shows the safety rule's verdict in the status bar.
    void ShowSafety(const SafetyRule& rule);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void ConnectButtons();
    void ShowError(const std::string& message);

    Station& station_;
    std::unique_ptr<window::FormBinding> binding_;
    std::function<bool()> closeCheck_;
};

}  // namespace noxa
