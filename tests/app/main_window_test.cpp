#include "app/main_window.h"

#include "app/application_identity.h"
#include "outputs/common/latest_readings.h"
#include "outputs/common/safety_rule.h"

#include "app/station.h"
#include "core/form_model.h"
#include "core/station_locale.h"
#include "support/log_lines.h"
#include "support/station_options.h"
#include "support/temp_dir.h"
#include "time/station_clock.h"

#include <QChart>
#include <QCheckBox>
#include <QFile>
#include <QFrame>
#include <QGraphicsView>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTest>
#include <QValueAxis>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace noxa {
namespace {

using ::testing::ElementsAre;
using ::testing::StartsWith;

// A station that has not been started, in a temporary working directory, and its window.
class MainWindowTest : public ::testing::Test {
protected:
    template <typename Widget>
    Widget* Find(const char* name) {
        auto* widget = window.findChild<Widget*>(name);
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    // The page (or, for components outside the pages, the window) a widget sits on.
    QWidget* PageOf(QWidget* widget) {
        for (QWidget* w = widget; w != nullptr; w = w->parentWidget()) {
            if (qobject_cast<QStackedWidget*>(w->parentWidget()) != nullptr) return w;
        }
        return &window;
    }

    // Shows a page the way the user would, and lets the layouts settle.
    void ShowPage(int index) {
        window.resize(1000, 640);
        window.show();
        Find<QTabWidget>("PCTemperatura")->setCurrentIndex(index);
        QCoreApplication::processEvents();
    }

    test::ScopedWorkDir dir;
    ManualClock clock{QDateTime(QDate(2024, 3, 1), QTime(22, 30))};
    Station station{clock, StationLocale::Fixed("%d/%m/%Y", "%H:%M:%S", "."),
                    test::TestStationOptions(dir.Path())};
    FormModel& form = station.Form();
    MainWindow window{station};
};

TEST_F(MainWindowTest, HasTheFivePagesInOrder) {
    EXPECT_EQ(window.objectName(), "NOXA");
    auto* pages = Find<QTabWidget>("PCTemperatura");
    ASSERT_NE(pages, nullptr);
    EXPECT_EQ(window.centralWidget(), pages);
    const char* const names[] = {"TSDatos", "TGrafico", "TabSheet1", "TabSheet2", "TSajustes"};
    const char* const captions[] = {"Readings", "Brightness", "Temperature", "Calibracion",
                                    "Settings"};
    ASSERT_EQ(pages->count(), 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(pages->widget(i)->objectName(), names[i]);
        EXPECT_EQ(pages->tabText(i), captions[i]);
    }
    EXPECT_EQ(pages->currentIndex(), 0);
}

enum class Kind { Panel, Label, Edit, Button, CheckBox };
enum class Shown { Yes, No };

struct Component {
    const char* name;
    Kind kind;
    const char* text;  // caption of buttons and check boxes, text of labels and edits
    const char* hint;
    Shown shown;
};

constexpr Shown kShown = Shown::Yes;
constexpr Shown kHidden = Shown::No;

// The window's layout, component by component.
const Component kComponents[] = {
    // Readings
    {"Panel5", Kind::Panel, "", "", kShown},
    {"Lmv", Kind::Label, "--", "mag. arc/seg2", kShown},
    {"LHz", Kind::Label, "-", "", kShown},
    {"Panel21", Kind::Panel, "", "", kShown},
    {"Lmv2", Kind::Label, "--", "mag. arc/seg2", kShown},
    {"LHz2", Kind::Label, "-", "", kShown},
    {"Panel7", Kind::Panel, "", "", kShown},
    {"LmvR", Kind::Label, "--", "mag. arc/seg2", kShown},
    {"LHzR", Kind::Label, "-", "", kShown},
    {"Panel17", Kind::Panel, "", "", kShown},
    {"LmvG", Kind::Label, "--", "mag. arc/seg2", kShown},
    {"LHzG", Kind::Label, "-", "", kShown},
    {"Panel18", Kind::Panel, "", "", kShown},
    {"LmvB", Kind::Label, "--", "mag. arc/seg2", kShown},
    {"LHzB", Kind::Label, "-", "", kShown},
    {"Panel20", Kind::Panel, "", "", kShown},
    {"Ltir", Kind::Label, "- -", "", kShown},
    {"Ltsensor", Kind::Label, "- -", "", kShown},
    {"LClouds", Kind::Label, "- -", "", kShown},
    {"Lnelm", Kind::Label, "--", "", kShown},
    {"Panel9", Kind::Panel, "", "", kShown},
    {"LDiaJ2000", Kind::Label, "JD 2000", "", kShown},
    {"LHoraSideral", Kind::Label, "Sideral Time", "", kShown},
    {"LHoraLocal", Kind::Label, "Local Time", "", kShown},
    {"Panel6", Kind::Panel, "", "", kHidden},
    {"LtA", Kind::Label, "--", "", kHidden},
    {"LtO", Kind::Label, "--", "", kHidden},
    {"Panel1", Kind::Panel, "", "", kHidden},
    {"LaX", Kind::Label, "--", "", kHidden},
    {"LaY", Kind::Label, "--", "", kHidden},
    {"LaZ", Kind::Label, "--", "", kHidden},
    {"Panel2", Kind::Panel, "", "", kHidden},
    {"LmX", Kind::Label, "--", "", kHidden},
    {"LmY", Kind::Label, "--", "", kHidden},
    {"LmZ", Kind::Label, "--", "", kHidden},
    {"Panel10", Kind::Panel, "", "", kHidden},
    {"Panel8", Kind::Panel, "", "", kHidden},
    {"LAltura", Kind::Label, "--", "", kHidden},
    {"LAcimut", Kind::Label, "--", "", kHidden},
    {"L_AR", Kind::Label, "--", "", kHidden},
    {"L_DEC", Kind::Label, "--", "", kHidden},
    {"Label24", Kind::Label, "Label24", "", kHidden},
    // Brightness
    {"Baumentar", Kind::Button, "Z", "Zoom.", kShown},
    {"BverV1", Kind::Button, "V1", "Show / Hide", kShown},
    {"BverV2", Kind::Button, "V2", "Show / Hide", kShown},
    {"BverR", Kind::Button, "R", "Show / Hide", kShown},
    {"BverG", Kind::Button, "G", "Show / Hide", kShown},
    {"BverB", Kind::Button, "B", "Show / Hide", kShown},
    {"Button1", Kind::Button, "NE", "Show / Hide", kShown},
    {"BSavegraf", Kind::Button, "Save", "Save present graphics", kShown},
    // Calibracion
    {"Panel11", Kind::Panel, "", "", kHidden},
    {"EmaxX", Kind::Edit, "mX", "", kHidden},
    {"EminX", Kind::Edit, "mX", "", kHidden},
    {"EmaxY", Kind::Edit, "mY", "", kHidden},
    {"EminY", Kind::Edit, "mY", "", kHidden},
    {"EmaxZ", Kind::Edit, "mZ", "", kHidden},
    {"EminZ", Kind::Edit, "mZ", "", kHidden},
    {"LmaxMag", Kind::Label, "Max", "", kHidden},
    {"LminMag", Kind::Label, "Min", "", kHidden},
    {"Panel14", Kind::Panel, "", "", kHidden},
    {"EOfsetMag", Kind::Edit, "0", "", kHidden},
    {"EGainMag", Kind::Edit, "1", "", kHidden},
    {"EOfsetMagR", Kind::Edit, "0", "", kHidden},
    {"EGainMagR", Kind::Edit, "1", "", kHidden},
    {"EOfsetMagG", Kind::Edit, "0", "", kHidden},
    {"EGainMagG", Kind::Edit, "1", "", kHidden},
    {"EOfsetMagB", Kind::Edit, "0", "", kHidden},
    {"EGainMagB", Kind::Edit, "1", "", kHidden},
    // Settings
    {"BClear", Kind::Button, "Clean Log.", "", kShown},
    {"CBvermensaje", Kind::CheckBox, "", "Ver mensajes", kShown},
    {"Bcleargraf", Kind::Button, "Clean Graphics", "", kShown},
    {"Panel13", Kind::Panel, "", "", kShown},
    {"Esalto", Kind::Edit, "60", "", kShown},
    {"ETiempo", Kind::Edit, "60", "", kShown},
    {"CBGuardar", Kind::CheckBox, "", "", kShown},
    {"Esitio", Kind::Edit, "qelvoxxx", "", kShown},
    {"Panel4", Kind::Panel, "", "", kShown},
    {"ELatGrad", Kind::Edit, "0", "", kShown},
    {"ELatMin", Kind::Edit, "0", "", kShown},
    {"Ens", Kind::Edit, "N", "", kShown},
    {"ELongHoras", Kind::Edit, "0", "", kShown},
    {"ELongMin", Kind::Edit, "0", "", kShown},
    {"Eeo", Kind::Edit, "E", "", kShown},
    {"Panel22", Kind::Panel, "", "", kShown},
    {"LCI1", Kind::Label, "CI1", "Constan Instrumental", kShown},
    {"LCI2", Kind::Label, "CI2", "Constan Instrumental", kShown},
    {"LCI3", Kind::Label, "CI3", "Constan Instrumental", kShown},
    {"LCI4", Kind::Label, "CI4", "Constan Instrumental", kShown},
    {"BGuardar", Kind::Button, "Save Changes", "Guarda puerto, constantes magnetometro....",
     kShown},
    {"Panel3", Kind::Panel, "", "Nº de puerto serie, 0 para datos por IP.", kHidden},
    {"LRx", Kind::Label, "V", "", kHidden},
    {"LRxR", Kind::Label, "R", "", kHidden},
    {"LRxG", Kind::Label, "G", "", kHidden},
    {"LRxB", Kind::Label, "B", "", kHidden},
    {"Panel12", Kind::Panel, "", "Adaptador RS232 a Ethernet, con COM = 0.", kHidden},
    {"EPuerto", Kind::Edit, "0", "", kHidden},
    {"EDirEth", Kind::Edit, "192.168.1.20", "", kHidden},
    {"EPuertoEth", Kind::Edit, "2255", "", kHidden},
    {"Panel15", Kind::Panel, "", "", kHidden},
    {"B4x", Kind::Button, "4x", "4 lecturas por sg.", kHidden},
    {"B1x", Kind::Button, "1x", "1 lectura por sg.", kHidden},
    {"CBEnviarCoord", Kind::CheckBox, nullptr, "", kHidden},
    {"BVersion", Kind::Button, "Version", "", kHidden},
    {"BTempMag", Kind::Button, "Rafaga", "", kHidden},
    {"Panel19", Kind::Panel, "", "", kHidden},
    {"EofsetTamb", Kind::Edit, "0", "", kHidden},
    {"BAbrirPuerto", Kind::Button, "Conectar", "Abrir Puerto Serie", kHidden},
    {"Esend", Kind::Edit, "V", "", kHidden},
    {"v1", Kind::Edit, "0", "", kHidden},
};

// The text a component shows, or nothing when it is not of the expected class.
std::optional<QString> ShownText(QWidget* widget, Kind kind) {
    switch (kind) {
        case Kind::Panel:
            if (qobject_cast<QFrame*>(widget) == nullptr || qobject_cast<QLabel*>(widget)) break;
            return QString();
        case Kind::Label:
            if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
            break;
        case Kind::Edit:
            if (auto* edit = qobject_cast<QLineEdit*>(widget)) return edit->text();
            break;
        case Kind::Button:
            if (auto* button = qobject_cast<QPushButton*>(widget)) return button->text();
            break;
        case Kind::CheckBox:
            if (auto* check = qobject_cast<QCheckBox*>(widget)) return check->text();
            break;
    }
    return std::nullopt;
}

TEST_F(MainWindowTest, BuildsEveryComponentWithItsTextHintAndVisibility) {
    for (const Component& c : kComponents) {
        SCOPED_TRACE(c.name);
        const QList<QWidget*> found = window.findChildren<QWidget*>(c.name);
        ASSERT_EQ(found.size(), 1) << "one widget per component name";
        QWidget* widget = found.front();
        const std::optional<QString> text = ShownText(widget, c.kind);
        ASSERT_TRUE(text.has_value()) << "class " << widget->metaObject()->className();
        if (c.text != nullptr) {
            EXPECT_EQ(*text, QString::fromUtf8(c.text));
        }
        EXPECT_EQ(widget->toolTip(), QString::fromUtf8(c.hint));
        EXPECT_EQ(widget->isVisibleTo(PageOf(widget)), c.shown == Shown::Yes);
    }
}

struct Heading {
    const char* panel;
    const char* text;
    const char* hint;
};

// Captions beside the values, found by their text within their panel.
const Heading kHeadings[] = {
    {"Panel5", "Mag. V:", "CI1 - 2.5LOG10(F1)"},
    {"Panel5", "F1:", "F1"},
    {"Panel21", "Mag. V2:", "CI2 - 2.5LOG10(F2)"},
    {"Panel21", "F2:", ""},
    {"Panel7", "Mag. R:", "CI3 - 2.5LOG10(F3)"},
    {"Panel7", "F3:", ""},
    {"Panel17", "Mag. G:", "CI2 - 2.5LOG10(F2-F3-F4)"},
    {"Panel17", "FG:", "F2 - FR - FB"},
    {"Panel18", "Mag. B:", "CI4 - 2.5LOG10(F4)"},
    {"Panel18", "F4:", ""},
    {"Panel20", "T IR:", "Sky temperature"},
    {"Panel20", "T Sensor:", "Sensor Temperature"},
    {"Panel20", "Cloud:", "Calculated Cloud Cover"},
    {"Panel20", "NELM:", "Naked eye limit mag."},
    {"Panel9", "JD2000:", ""},
    {"Panel9", "ST:", ""},
    {"Panel9", "LT:", ""},
    {"Panel1", "ACE:", ""},
    {"Panel2", "MAG:", ""},
    {"Panel10", "+90", ""},
    {"Panel10", "0", ""},
    {"Panel10", "-90", ""},
    {"Panel10", "Altura", ""},
    {"Panel10", "Direccion", ""},
    {"Panel10", "Alabeo", ""},
    {"Panel10", "Orientación", ""},
    {"Panel8", "ALT:", ""},
    {"Panel8", "AZ:", ""},
    {"Panel8", "AR:", ""},
    {"Panel8", "DEC:", ""},
    {"Panel8", "Coordenadas", ""},
    {"Panel11", "Ajustes Magnetometro", ""},
    {"Panel14", "Ajustes Frecuencia", ""},
    {"TSajustes", "Log Rx msg.", ""},
    {"Panel13", "Save to file every:", ""},
    {"Panel13", "sg", ""},
    {"Panel13", "Graphic point every:", ""},
    {"Panel13", "Sensor Name:", ""},
    {"Panel4", "Lat:", ""},
    {"Panel4", "Long:", ""},
    {"Panel22", "Constants:", "Constan Instrumental"},
    {"Panel12", "COM:", ""},
    {"Panel12", "Sensor IP:", ""},
    {"Panel12", "IP Port:", ""},
    {"Panel15", "Refresco:", ""},
    {"Panel19", "Offset Tamb:", ""},
};

TEST_F(MainWindowTest, CaptionsTheValuesWithTheirHints) {
    for (const Heading& h : kHeadings) {
        SCOPED_TRACE(std::string(h.panel) + " " + h.text);
        auto* panel = Find<QWidget>(h.panel);
        ASSERT_NE(panel, nullptr);
        QLabel* heading = nullptr;
        for (QLabel* label : panel->findChildren<QLabel*>()) {
            if (label->text() == QString::fromUtf8(h.text)) heading = label;
        }
        ASSERT_NE(heading, nullptr);
        EXPECT_EQ(heading->toolTip(), QString::fromUtf8(h.hint));
    }
}

TEST_F(MainWindowTest, BuildsTheOrientationGaugesAtTheirLowEnd) {
    struct Gauge {
        const char* name;
        Qt::Orientation orientation;
        int minimum, maximum;
    };
    for (const Gauge& g :
         {Gauge{"PBpitch", Qt::Vertical, -90, 90}, Gauge{"PBroll", Qt::Horizontal, -90, 90},
          Gauge{"PBheading", Qt::Horizontal, 0, 100}}) {
        SCOPED_TRACE(g.name);
        auto* bar = Find<QProgressBar>(g.name);
        ASSERT_NE(bar, nullptr);
        EXPECT_EQ(bar->orientation(), g.orientation);
        EXPECT_EQ(bar->minimum(), g.minimum);
        EXPECT_EQ(bar->maximum(), g.maximum);
        EXPECT_EQ(bar->value(), g.minimum);
    }
}

TEST_F(MainWindowTest, ShowsEachChartInItsOwnSceneFillingThePage) {
    struct View {
        const char* name;
        int page;
        QGraphicsScene* scene;
        QChart* chart;
    };
    StationCharts& charts = station.Charts();
    for (const View& v : {View{"Chart1", 1, charts.Scene1(), charts.Chart1()},
                          View{"Chart2", 2, charts.Scene2(), charts.Chart2()}}) {
        SCOPED_TRACE(v.name);
        auto* view = Find<QGraphicsView>(v.name);
        ASSERT_NE(view, nullptr);
        EXPECT_EQ(view->scene(), v.scene);
        EXPECT_EQ(v.chart->scene(), v.scene);
        ShowPage(v.page);
        EXPECT_TRUE(view->isVisible());
        const QSizeF viewport = view->viewport()->size();
        EXPECT_EQ(v.chart->size(), viewport);
        EXPECT_EQ(v.scene->sceneRect(), QRectF(QPointF(0, 0), viewport));
        window.resize(1100, 700);
        QCoreApplication::processEvents();
        EXPECT_GT(view->viewport()->width(), viewport.width());
        EXPECT_EQ(v.chart->size(), QSizeF(view->viewport()->size()));
    }
}

TEST_F(MainWindowTest, ShowsEveryModelTextInItsWidget) {
    for (std::size_t i = 0; i < kFormTextCount; ++i) {
        const auto id = static_cast<FormText>(i);
        const QString name = QString::fromLatin1(ComponentName(id));
        SCOPED_TRACE(name.toStdString());
        const std::string value = "value " + std::to_string(i);
        form.SetText(id, value);
        auto* widget = window.findChild<QWidget*>(name);
        ASSERT_NE(widget, nullptr);
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            EXPECT_EQ(label->text().toStdString(), value);
        } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
            EXPECT_EQ(edit->text().toStdString(), value);
        } else {
            ADD_FAILURE() << "neither a label nor an edit";
        }
    }
}

TEST_F(MainWindowTest, TypingIntoAnEditReachesTheModel) {
    auto* name = Find<QLineEdit>("Esitio");
    ASSERT_NE(name, nullptr);
    name->selectAll();
    QTest::keyClicks(name, "norte1");
    EXPECT_EQ(form.Text(FormText::Esitio), "norte1");
    QTest::keyClick(name, Qt::Key_Backspace);
    EXPECT_EQ(form.Text(FormText::Esitio), "norte");

    // A hidden field takes edits the same way.
    auto* gain = Find<QLineEdit>("EGainMagR");
    ASSERT_NE(gain, nullptr);
    gain->setText("1.25");
    emit gain->textEdited(gain->text());
    EXPECT_EQ(form.Text(FormText::EGainMagR), "1.25");
}

TEST_F(MainWindowTest, ModelChangesReachAnEditWithoutComingBack) {
    QSignalSpy changes(&form, &FormModel::textChanged);
    auto* interval = Find<QLineEdit>("Esalto");
    ASSERT_NE(interval, nullptr);
    form.SetText(FormText::Esalto, "120");
    EXPECT_EQ(interval->text(), "120");
    EXPECT_EQ(changes.count(), 1);
}

TEST_F(MainWindowTest, ModelChangesReachTheLabels) {
    form.SetText(FormText::Lmv, "21.34");
    form.SetText(FormText::Lnelm, "6.2");
    form.SetText(FormText::LHoraLocal, "22:30:00");
    EXPECT_EQ(Find<QLabel>("Lmv")->text(), "21.34");
    EXPECT_EQ(Find<QLabel>("Lnelm")->text(), "6.2");
    EXPECT_EQ(Find<QLabel>("LHoraLocal")->text(), "22:30:00");

    // Texts are shown as they are, never taken for markup.
    form.SetText(FormText::Lmv, "<b>21.3</b>");
    EXPECT_EQ(Find<QLabel>("Lmv")->textFormat(), Qt::PlainText);
}

TEST_F(MainWindowTest, CheckBoxesFollowTheModelBothWays) {
    for (std::size_t i = 0; i < kFormCheckCount; ++i) {
        const auto id = static_cast<FormCheck>(i);
        SCOPED_TRACE(std::string(ComponentName(id)));
        auto* check = window.findChild<QCheckBox*>(QString::fromLatin1(ComponentName(id)));
        ASSERT_NE(check, nullptr);
        EXPECT_EQ(check->isChecked(), form.Checked(id));

        QSignalSpy changes(&form, &FormModel::checkChanged);
        check->click();
        EXPECT_EQ(form.Checked(id), check->isChecked());
        form.SetChecked(id, !form.Checked(id));
        EXPECT_EQ(check->isChecked(), form.Checked(id));
        EXPECT_EQ(changes.count(), 2);
    }
}

TEST_F(MainWindowTest, StartsWithTheLayoutsCheckStates) {
    EXPECT_FALSE(Find<QCheckBox>("CBvermensaje")->isChecked());
    EXPECT_TRUE(Find<QCheckBox>("CBGuardar")->isChecked());
    EXPECT_FALSE(Find<QCheckBox>("CBEnviarCoord")->isChecked());
}

TEST_F(MainWindowTest, MemoFollowsTheLog) {
    auto* memo = Find<QPlainTextEdit>("Memo1");
    ASSERT_NE(memo, nullptr);
    EXPECT_TRUE(memo->isReadOnly());
    EXPECT_EQ(memo->maximumBlockCount(), 5000);
    EXPECT_EQ(memo->toPlainText(), "Log");

    form.AppendLog(LogLevel::Info, "Config file not found");
    EXPECT_EQ(memo->toPlainText(), "Log\nConfig file not found");
    form.ClearLog();
    EXPECT_EQ(memo->toPlainText(), "");
    form.AppendLog(LogLevel::Info, "first");
    form.AppendLog(LogLevel::Info, "second");
    EXPECT_EQ(memo->toPlainText(), "first\nsecond");
}

TEST_F(MainWindowTest, MemoShowsTheLogAsItWasWhenTheWindowCameUp) {
    form.AppendLog(LogLevel::Info, "before the window");
    MainWindow second(station);
    EXPECT_EQ(second.findChild<QPlainTextEdit*>("Memo1")->toPlainText(), "Log\nbefore the window");
}

TEST_F(MainWindowTest, ReceptionIndicatorTakesTheModelsColour) {
    auto* indicator = Find<QLabel>("LRx");
    ASSERT_NE(indicator, nullptr);
    form.SetRxColour(kIndicatorRed);
    EXPECT_EQ(indicator->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    form.SetRxColour(kIndicatorGray);
    EXPECT_EQ(indicator->palette().color(QPalette::WindowText), QColor(128, 128, 128));
}

TEST_F(MainWindowTest, TitleFollowsTheCaption) {
    EXPECT_EQ(window.windowTitle(), "NOXA 4CH");
    form.SetCaption("NOXA-V4I  v: 1.3.1.0  qelvoxxx");
    EXPECT_EQ(window.windowTitle(), "NOXA-V4I  v: 1.3.1.0  qelvoxxx");
    // A display name of the application's own would be appended to the title bar's text.
    SetApplicationIdentity();
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
}

TEST_F(MainWindowTest, InstrumentConstantsShowWholeAtTheDefaultSize) {
    for (const FormText id : {FormText::LCI1, FormText::LCI2, FormText::LCI3, FormText::LCI4}) {
        form.SetText(id, "CI1: -20.37");
    }
    window.show();
    Find<QTabWidget>("PCTemperatura")->setCurrentIndex(4);
    QCoreApplication::processEvents();
    for (const char* name : {"LCI1", "LCI2", "LCI3", "LCI4"}) {
        const auto* label = Find<QLabel>(name);
        EXPECT_GE(label->contentsRect().width(),
                  label->fontMetrics().horizontalAdvance(label->text()))
            << name;
    }
}

TEST_F(MainWindowTest, CleanLogEmptiesTheLog) {
    form.AppendLog(LogLevel::Info, "one");
    form.AppendLog(LogLevel::Info, "two");
    QTest::mouseClick(Find<QPushButton>("BClear"), Qt::LeftButton);
    EXPECT_TRUE(form.LogLines().empty());
    EXPECT_EQ(Find<QPlainTextEdit>("Memo1")->toPlainText(), "");
}

TEST_F(MainWindowTest, SaveChangesSavesWhatWasTyped) {
    auto* name = Find<QLineEdit>("Esitio");
    ASSERT_NE(name, nullptr);
    name->selectAll();
    QTest::keyClicks(name, "norte1");
    QTest::mouseClick(Find<QPushButton>("BGuardar"), Qt::LeftButton);
    const std::string saved = dir.ReadFile("Noxa.cfg");
    EXPECT_NE(saved.find("norte1"), std::string::npos);
    ASSERT_FALSE(form.LogLines().empty());
    EXPECT_THAT(form.LogLines().front(), StartsWith("Read config file: "));
}

TEST_F(MainWindowTest, ChartButtonsReachTheCharts) {
    StationCharts& charts = station.Charts();
    Find<QPushButton>("BverV1")->click();
    EXPECT_FALSE(charts.Series(ChartSeries::Magnitude740)->isVisible());
    Find<QPushButton>("Button1")->click();
    EXPECT_FALSE(charts.Series(ChartSeries::Nelm)->isVisible());
    Find<QPushButton>("Baumentar")->click();
    EXPECT_EQ(charts.MagnitudeAxis()->min(), 10.0);
    Find<QPushButton>("Baumentar")->click();
    EXPECT_EQ(charts.MagnitudeAxis()->min(), 15.0);
    Find<QPushButton>("Bcleargraf")->click();
    EXPECT_EQ(charts.Series(ChartSeries::Clouds)->count(), 0);
    EXPECT_EQ(charts.Series(ChartSeries::SkyTemperature)->count(), 1440);
    Find<QPushButton>("BSavegraf")->click();
    EXPECT_TRUE(QFile::exists(dir.Path() + "/Magnitude JD 2000.jpg"));
}

TEST_F(MainWindowTest, ConnectButtonOpensTheLink) {
    form.ClearLog();
    Find<QPushButton>("BAbrirPuerto")->click();
    EXPECT_THAT(form.LogLines(), ElementsAre("22:30:00  Waiting NOXA-V4I broadcast on port 2255."));
}

TEST_F(MainWindowTest, TheSafetyVerdictShowsBelowThePagesWithEveryChangeOfItsReason) {
    std::vector<std::string> log;
    LatestReadings latest(station.Feed(), clock);
    SafetyRule rule(latest, SafetyLimits{}, test::KeepIn(log));
    window.ShowSafety(rule);
    const auto* indicator = Find<QLabel>("SafetyIndicator");
    EXPECT_EQ(indicator->text(), "Sky unsafe: no report yet");
    const auto observe = [&](float cloudIndex) {
        Observation o;
        o.time = clock.NowUtc();
        o.cloudIndex = cloudIndex;
        emit station.Feed().observed(o);
    };
    // Unsafe from the start, for another reason now, then with another number.
    observe(33);
    EXPECT_EQ(indicator->text(), "Sky unsafe: cloud cover 33 % above 30 %");
    observe(41);
    EXPECT_EQ(indicator->text(), "Sky unsafe: cloud cover 41 % above 30 %");
    observe(5);
    EXPECT_EQ(indicator->text(), "Sky safe");
    EXPECT_EQ(log,
              (std::vector<std::string>{"Sky unsafe: cloud cover 33 % above 30 %", "Sky safe"}));
}

}  // namespace
}  // namespace noxa
