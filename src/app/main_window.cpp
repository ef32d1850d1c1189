#include "app/main_window.h"

#include "app/application_identity.h"
#include "app/station.h"
#include "app/window/form_binding.h"
#include "app/window/pages.h"
#include "app/window/safety_indicator.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>

namespace noxa {
namespace {

// The size the window opens with unless its pages ask for more. The pages' own minimum sizes
// keep every value readable, so the window cannot be shrunk below that.
constexpr QSize kInitialSize{647, 327};

}  // namespace

MainWindow::MainWindow(Station& station, QWidget* parent) : QMainWindow(parent), station_(station) {
    setObjectName("NOXA");

    auto* pages = new QTabWidget;
    pages->setObjectName("PCTemperatura");
    pages->addTab(window::BuildReadingsPage(), "Readings");
    pages->addTab(window::BuildBrightnessPage(station.Charts()), "Brightness");
    pages->addTab(window::BuildTemperaturePage(station.Charts()), "Temperature");
    pages->addTab(window::BuildCalibrationPage(), "Calibracion");
    pages->addTab(window::BuildSettingsPage(), "Settings");
    pages->setCurrentIndex(0);
    setCentralWidget(pages);

    // A label the station keeps a text for, with no place on screen.
    auto* stray = new QLabel(this);
    stray->setObjectName("Label24");
    stray->setTextFormat(Qt::PlainText);
    stray->hide();

    binding_ = std::make_unique<window::FormBinding>(station.Form(), *this);
    ConnectButtons();
    station_.SetErrorHandler([this](const std::string& message) { ShowError(message); });

    resize(kInitialSize.expandedTo(sizeHint()));
}

MainWindow::~MainWindow() {
    // Errors after the window has gone are the station's own to report.
    station_.SetErrorHandler({});
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (closeCheck_ && !closeCheck_()) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

void MainWindow::ConnectButtons() {
    // Each button of the window and what it asks of the station.
    struct ButtonHandler {
        const char* button;
        void (*handler)(Station&);
    };
    static constexpr ButtonHandler kButtons[] = {
        {"BClear", [](Station& s) { s.ClearLog(); }},
        {"BGuardar", [](Station& s) { s.SaveSettings(); }},
        {"BAbrirPuerto", [](Station& s) { s.Connect(); }},
        {"Baumentar", [](Station& s) { s.StepChartZoom(); }},
        {"BverV1", [](Station& s) { s.ToggleChartSeries(ChartSeries::Magnitude740); }},
        {"BverV2", [](Station& s) { s.ToggleChartSeries(ChartSeries::Magnitude640); }},
        {"BverR", [](Station& s) { s.ToggleChartSeries(ChartSeries::MagnitudeRed); }},
        {"BverG", [](Station& s) { s.ToggleChartSeries(ChartSeries::MagnitudeGreen); }},
        {"BverB", [](Station& s) { s.ToggleChartSeries(ChartSeries::MagnitudeBlue); }},
        {"Button1", [](Station& s) { s.ToggleChartSeries(ChartSeries::Nelm); }},
        {"Bcleargraf", [](Station& s) { s.ClearCharts(); }},
        {"BSavegraf", [](Station& s) { s.SaveChartImages(); }},
        {"B4x", [](Station& s) { s.AskFastReadings(); }},
        {"B1x", [](Station& s) { s.AskSlowReadings(); }},
        {"BVersion", [](Station& s) { s.AskVersion(); }},
        {"BTempMag", [](Station& s) { s.AskBurst(); }},
    };
    Station* station = &station_;
    for (const ButtonHandler& entry : kButtons) {
        auto* button = findChild<QPushButton*>(entry.button);
        Q_ASSERT(button != nullptr);
        const auto handler = entry.handler;
        connect(button, &QPushButton::clicked, this, [station, handler] { handler(*station); });
    }
}

void MainWindow::ShowError(const std::string& message) {
    QMessageBox::critical(
        this, kApplicationTitle,
        QString::fromLocal8Bit(message.data(), static_cast<qsizetype>(message.size())));
}

void MainWindow::ShowSafety(const SafetyRule& rule) {
    statusBar()->addWidget(new window::SafetyIndicator(rule));
}

}  // namespace noxa
