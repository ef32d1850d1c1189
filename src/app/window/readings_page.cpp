#include "app/window/components.h"
#include "app/window/pages.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

namespace noxa::window {
namespace {

// Point sizes of the live values: the magnitudes are read from across a dark room.
constexpr int kMagnitudePoints = 28;
constexpr int kFrequencyPoints = 13;
constexpr int kTemperaturePoints = 16;
constexpr int kClockPoints = 13;
constexpr int kHeadingPoints = 11;

const QString kMagnitudeHint = QStringLiteral("mag. arc/seg2");

struct ChannelLayout {
    const char* panel;
    const char* magnitudeHeading;
    const char* magnitudeHint;
    const char* magnitude;
    QColor colour;
    const char* frequencyHeading;
    const char* frequencyHint;
    const char* frequency;
};

const ChannelLayout kChannels[] = {
    {"Panel5", "Mag. V:", "CI1 - 2.5LOG10(F1)", "Lmv", Qt::black, "F1:", "F1", "LHz"},
    {"Panel21", "Mag. V2:", "CI2 - 2.5LOG10(F2)", "Lmv2", Qt::black, "F2:", "", "LHz2"},
    {"Panel7", "Mag. R:", "CI3 - 2.5LOG10(F3)", "LmvR", QColor(210, 0, 0), "F3:", "", "LHzR"},
    {"Panel17", "Mag. G:", "CI2 - 2.5LOG10(F2-F3-F4)", "LmvG", QColor(0, 128, 0),
     "FG:", "F2 - FR - FB", "LHzG"},
    {"Panel18", "Mag. B:", "CI4 - 2.5LOG10(F4)", "LmvB", QColor(0, 0, 230), "F4:", "", "LHzB"},
};

QLabel* PageHeading(const QString& text, const QString& hint = {}) {
    QLabel* label = Heading(text, hint);
    QFont font = label->font();
    font.setPointSize(kHeadingPoints);
    label->setFont(font);
    return label;
}

// A heading wide enough for the widest heading of its column, so that the panels line up.
QLabel* ColumnHeading(const QString& text, const QString& hint, const QString& widest) {
    QLabel* label = PageHeading(text, hint);
    label->setMinimumWidth(QFontMetrics(label->font()).horizontalAdvance(widest) + 4);
    return label;
}

QFrame* ChannelPanel(const ChannelLayout& channel) {
    QFrame* panel = Panel(channel.panel);
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(10, 2, 10, 2);
    row->addWidget(ColumnHeading(channel.magnitudeHeading, channel.magnitudeHint, "Mag. V2:"));
    row->addWidget(BigValueLabel(channel.magnitude, kMagnitudePoints, channel.colour, "88.88",
                                 kMagnitudeHint));
    row->addSpacing(24);
    row->addWidget(ColumnHeading(channel.frequencyHeading, channel.frequencyHint, "FG:"));
    row->addWidget(BigValueLabel(channel.frequency, kFrequencyPoints, Qt::black, "888888.888"));
    row->addStretch();
    return panel;
}

// Temperatures, cloud index and the limiting magnitude.
QFrame* SkyPanel() {
    QFrame* panel = Panel("Panel20");
    auto* grid = new QGridLayout(panel);
    grid->setContentsMargins(10, 6, 10, 6);
    grid->setColumnStretch(1, 1);
    grid->addWidget(PageHeading("T IR:", "Sky temperature"), 0, 0);
    grid->addWidget(BigValueLabel("Ltir", kTemperaturePoints, Qt::black, "-888.88"), 0, 1);
    grid->addWidget(PageHeading("T Sensor:", "Sensor Temperature"), 1, 0);
    grid->addWidget(BigValueLabel("Ltsensor", kTemperaturePoints, Qt::black, "-888.88"), 1, 1);
    grid->addWidget(PageHeading("Cloud:", "Calculated Cloud Cover"), 2, 0);
    grid->addWidget(BigValueLabel("LClouds", kTemperaturePoints, Qt::black, "-8888"), 2, 1);
    grid->addWidget(PageHeading("NELM:", "Naked eye limit mag."), 3, 0);
    grid->addWidget(BigValueLabel("Lnelm", kMagnitudePoints, QColor(128, 128, 0), "-88.8"), 3, 1);
    return panel;
}

// Day number since J2000, sidereal and local time.
QFrame* ClockPanel() {
    QFrame* panel = Panel("Panel9");
    auto* grid = new QGridLayout(panel);
    grid->setContentsMargins(10, 6, 10, 6);
    grid->setColumnStretch(1, 1);
    const char* const headings[] = {"JD2000:", "ST:", "LT:"};
    const char* const values[] = {"LDiaJ2000", "LHoraSideral", "LHoraLocal"};
    for (int row = 0; row < 3; ++row) {
        grid->addWidget(PageHeading(headings[row]), row, 0);
        grid->addWidget(BigValueLabel(values[row], kClockPoints, Qt::black, "Sideral Time"), row,
                        1);
    }
    return panel;
}

// The attitude and pointing displays below are built for the station's readers but kept hidden.

QFrame* TemperaturesPanel() {
    QFrame* panel = Panel("Panel6");
    auto* row = new QHBoxLayout(panel);
    row->addWidget(Heading("T amb:"));
    row->addWidget(ValueLabel("LtA"));
    row->addWidget(Heading("T obj:"));
    row->addWidget(ValueLabel("LtO"));
    return panel;
}

QFrame* VectorPanel(const char* name, const char* heading, const char* const (&values)[3]) {
    QFrame* panel = Panel(name);
    auto* row = new QHBoxLayout(panel);
    row->addWidget(Heading(heading));
    for (const char* value : values) row->addWidget(ValueLabel(value));
    return panel;
}

QFrame* OrientationPanel() {
    QFrame* panel = Panel("Panel10");
    auto* grid = new QGridLayout(panel);
    grid->addWidget(PanelTitle(QStringLiteral("Orientación")), 0, 0, 1, 4);
    grid->addWidget(Heading("+90"), 1, 0, Qt::AlignTop);
    grid->addWidget(Heading("0"), 2, 0);
    grid->addWidget(Heading("-90"), 3, 0, Qt::AlignBottom);
    grid->addWidget(Gauge("PBpitch", Qt::Vertical, -90, 90), 1, 1, 3, 1);
    grid->addWidget(Heading("Altura"), 4, 1);
    grid->addWidget(Gauge("PBheading", Qt::Horizontal, 0, 100), 1, 2);
    grid->addWidget(Heading("Direccion"), 1, 3);
    grid->addWidget(Gauge("PBroll", Qt::Horizontal, -90, 90), 3, 2);
    grid->addWidget(Heading("Alabeo"), 3, 3);
    return panel;
}

QFrame* PointingPanel() {
    QFrame* panel = Panel("Panel8");
    auto* grid = new QGridLayout(panel);
    grid->addWidget(PanelTitle("Coordenadas"), 0, 0, 1, 2);
    const char* const headings[] = {"ALT:", "AZ:", "AR:", "DEC:"};
    const char* const values[] = {"LAltura", "LAcimut", "L_AR", "L_DEC"};
    for (int row = 0; row < 4; ++row) {
        grid->addWidget(Heading(headings[row]), row + 1, 0);
        grid->addWidget(ValueLabel(values[row]), row + 1, 1);
    }
    return panel;
}

}  // namespace

QWidget* BuildReadingsPage() {
    auto* page = new QWidget;
    page->setObjectName("TSDatos");
    auto* columns = new QHBoxLayout(page);

    auto* channels = new QVBoxLayout;
    // The channels share the page's height, so the values stay evenly spaced at any size.
    for (const ChannelLayout& channel : kChannels) channels->addWidget(ChannelPanel(channel), 1);
    columns->addLayout(channels, 1);

    auto* side = new QVBoxLayout;
    side->addWidget(SkyPanel(), 1);
    side->addWidget(ClockPanel());
    QFrame* hidden[] = {
        TemperaturesPanel(),
        VectorPanel("Panel1", "ACE:", {"LaX", "LaY", "LaZ"}),
        VectorPanel("Panel2", "MAG:", {"LmX", "LmY", "LmZ"}),
        OrientationPanel(),
        PointingPanel(),
    };
    for (QFrame* panel : hidden) {
        side->addWidget(panel);
        panel->hide();
    }
    columns->addLayout(side);
    return page;
}

}  // namespace noxa::window
