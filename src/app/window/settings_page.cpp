#include "app/window/components.h"
#include "app/window/pages.h"
#include "core/form_model.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace noxa::window {
namespace {

// The station log with its buttons: "Log Rx msg." and the switch that copies every received
// broadcast into it, the log itself, and the two clean-up buttons.
QLayout* LogColumn() {
    auto* column = new QVBoxLayout;
    auto* heading = new QHBoxLayout;
    heading->addWidget(PanelTitle("Log Rx msg."));
    heading->addWidget(CheckBox("CBvermensaje", {}, "Ver mensajes"));
    heading->addStretch();
    column->addLayout(heading);

    auto* memo = new QPlainTextEdit;
    memo->setObjectName("Memo1");
    memo->setReadOnly(true);
    memo->setMaximumBlockCount(static_cast<int>(FormModel::kLogLimit));
    // Received broadcasts make long lines: wrapped, they can be read without scrolling.
    memo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    memo->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    memo->setMinimumSize(360, 200);
    column->addWidget(memo, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Button("BClear", "Clean Log."));
    buttons->addStretch();
    buttons->addWidget(Button("Bcleargraf", "Clean Graphics"));
    column->addLayout(buttons);
    return column;
}

// Recording interval, chart interval, recording on or off, and the station name.
QFrame* RecordingPanel() {
    QFrame* panel = Panel("Panel13");
    auto* grid = new QGridLayout(panel);
    grid->addWidget(CheckBox("CBGuardar", {}), 0, 0);
    grid->addWidget(Heading("Save to file every:"), 0, 1);
    grid->addWidget(Edit("Esalto", 4), 0, 2);
    grid->addWidget(Heading("sg"), 0, 3);
    grid->addWidget(Heading("Graphic point every:"), 1, 1);
    grid->addWidget(Edit("ETiempo", 4), 1, 2);
    grid->addWidget(Heading("sg"), 1, 3);
    grid->addWidget(Heading("Sensor Name:"), 2, 1);
    // Station names vary in length: the field may grow beyond its starting width.
    QLineEdit* name = Edit("Esitio", 12);
    name->setMaximumWidth(QWIDGETSIZE_MAX);
    grid->addWidget(name, 2, 2, 1, 2);
    grid->setColumnStretch(4, 1);
    return panel;
}

// The observer's latitude and longitude: degrees, minutes and the side.
QFrame* PositionPanel() {
    QFrame* panel = Panel("Panel4");
    auto* grid = new QGridLayout(panel);
    grid->addWidget(Heading("Lat:"), 0, 0);
    grid->addWidget(Edit("ELatGrad", 4), 0, 1);
    grid->addWidget(Edit("ELatMin", 4), 0, 2);
    grid->addWidget(Edit("Ens", 1), 0, 3);
    grid->addWidget(Heading("Long:"), 1, 0);
    grid->addWidget(Edit("ELongHoras", 4), 1, 1);
    grid->addWidget(Edit("ELongMin", 4), 1, 2);
    grid->addWidget(Edit("Eeo", 1), 1, 3);
    grid->setColumnStretch(4, 1);
    return panel;
}

// The instrument constants of the four channels as the instrument reports them.
QFrame* ConstantsPanel() {
    const QString hint = QStringLiteral("Constan Instrumental");
    QFrame* panel = Panel("Panel22");
    auto* row = new QHBoxLayout(panel);
    row->addWidget(Heading("Constants:", hint));
    for (const char* name : {"LCI1", "LCI2", "LCI3", "LCI4"}) {
        QLabel* label = ValueLabel(name, hint);
        // The cycle writes "CI1: 20.37": room for the prefix and a signed constant.
        label->setMinimumWidth(QFontMetrics(label->font()).horizontalAdvance("CI8: -88.88") + 4);
        row->addWidget(label);
    }
    row->addStretch();
    return panel;
}

// The panels below serve links and commands that are not offered on screen; they are built
// for the station's handlers and kept hidden.

QFrame* IndicatorPanel() {
    QFrame* panel = Panel("Panel3");
    panel->setToolTip(QStringLiteral("Nº de puerto serie, 0 para datos por IP."));
    auto* row = new QHBoxLayout(panel);
    for (const char* name : {"LRx", "LRxR", "LRxG", "LRxB"}) row->addWidget(ValueLabel(name));
    return panel;
}

QFrame* AddressPanel() {
    QFrame* panel = Panel("Panel12");
    panel->setToolTip("Adaptador RS232 a Ethernet, con COM = 0.");
    auto* grid = new QGridLayout(panel);
    grid->addWidget(Heading("COM:"), 0, 0);
    grid->addWidget(Edit("EPuerto", 3), 0, 1);
    grid->addWidget(Heading("Sensor IP:"), 1, 0);
    grid->addWidget(Edit("EDirEth", 15), 1, 1);
    grid->addWidget(Heading("IP Port:"), 2, 0);
    grid->addWidget(Edit("EPuertoEth", 5), 2, 1);
    return panel;
}

QFrame* CommandPanel() {
    QFrame* panel = Panel("Panel15");
    auto* row = new QHBoxLayout(panel);
    row->addWidget(Heading("Refresco:"));
    row->addWidget(Button("B4x", "4x", "4 lecturas por sg."));
    row->addWidget(Button("B1x", "1x", "1 lectura por sg."));
    row->addWidget(CheckBox("CBEnviarCoord", "Enviar Coord."));
    row->addWidget(Button("BVersion", "Version"));
    row->addWidget(Button("BTempMag", "Rafaga"));
    return panel;
}

QFrame* TemperatureOffsetPanel() {
    QFrame* panel = Panel("Panel19");
    auto* row = new QHBoxLayout(panel);
    row->addWidget(Heading("Offset Tamb:"));
    row->addWidget(Edit("EofsetTamb", 4));
    return panel;
}

}  // namespace

QWidget* BuildSettingsPage() {
    auto* page = new QWidget;
    page->setObjectName("TSajustes");
    auto* columns = new QHBoxLayout(page);
    columns->addLayout(LogColumn(), 1);

    auto* settings = new QVBoxLayout;
    settings->addWidget(RecordingPanel());
    settings->addWidget(PositionPanel());
    settings->addWidget(ConstantsPanel());
    settings->addWidget(
        Button("BGuardar", "Save Changes", "Guarda puerto, constantes magnetometro...."), 0,
        Qt::AlignLeft);
    settings->addStretch();
    QWidget* hidden[] = {
        IndicatorPanel(),
        AddressPanel(),
        CommandPanel(),
        TemperatureOffsetPanel(),
        Button("BAbrirPuerto", "Conectar", "Abrir Puerto Serie"),
        Edit("Esend", 4),
        Edit("v1", 4),
    };
    for (QWidget* widget : hidden) {
        settings->addWidget(widget);
        widget->hide();
    }
    columns->addLayout(settings);
    return page;
}

}  // namespace noxa::window
