#include "recording/xml_snapshot.h"

#include "core/form_model.h"
#include "core/station_locale.h"
#include "support/temp_dir.h"
#include "time/station_clock.h"

#include <QDir>
#include <QFile>
#include <QXmlStreamReader>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace noxa {
namespace {

using ::testing::ElementsAre;

// A clock that moves on by one millisecond at every reading.
class TickingClock final : public StationClock {
public:
    explicit TickingClock(QDateTime start) : now_(std::move(start)) {}
    QDateTime Now() const override {
        const QDateTime t = now_;
        now_ = now_.addMSecs(1);
        return t;
    }

private:
    mutable QDateTime now_;
};

class XmlSnapshotTest : public ::testing::Test {
protected:
    std::string File() { return dir.ReadFile(XmlSnapshot::kFileName); }

    test::ScopedWorkDir dir;
    FormModel form;
    ManualClock clock{QDateTime(QDate(2023, 4, 9), QTime(22, 0, 5))};
    StationLocale locale = StationLocale::Fixed("%d/%m/%Y", "%H:%M:%S", ".");
    XmlSnapshot snapshot{form, clock, locale, dir.Dir()};
};

TEST_F(XmlSnapshotTest, BeforeAnyReportItHoldsTheLayoutTexts) {
    snapshot.WriteXmlSnapshot();
    EXPECT_EQ(File(),
              "<NOXA> <Date>09/04/2023</Date><Time>22:00:05</Time><JD2000>JD 2000</JD2000>"
              "<ST>Sideral Time</ST><MV740>--</MV740><MV640>--</MV640><MVR>--</MVR><MVG>--</MVG>"
              "<MVB>--</MVB><TAmb>- -</TAmb><TIR>- -</TIR></NOXA>");
    snapshot.WriteXmlSnapshot();
    EXPECT_THAT(form.LogLines(), ElementsAre("Log", "Created file: noxa.xml"));
}

TEST_F(XmlSnapshotTest, CopiesTheLabelsAsTheyStand) {
    form.SetText(FormText::LDiaJ2000, "8499.41741");
    form.SetText(FormText::LHoraSideral, "10:56:44");
    form.SetText(FormText::Lmv, "9.87,");
    form.SetText(FormText::Lmv2, "21.34");
    form.SetText(FormText::LmvG, "12.5");
    form.SetText(FormText::Ltsensor, "10.25");
    form.SetText(FormText::Ltir, "-5.5,");
    EXPECT_EQ(snapshot.Compose(),
              "<NOXA> <Date>09/04/2023</Date><Time>22:00:05</Time><JD2000>8499.41741</JD2000>"
              "<ST>10:56:44</ST><MV740>9.87,</MV740><MV640>21.34</MV640><MVR>--</MVR>"
              "<MVG>12.5</MVG><MVB>--</MVB><TAmb>10.25</TAmb><TIR>-5.5,</TIR></NOXA>");
    for (FormText id :
         {FormText::Lmv, FormText::Lmv2, FormText::LmvR, FormText::LmvB, FormText::LmvG}) {
        form.SetText(id, "-.-");
    }
    EXPECT_THAT(snapshot.Compose(),
                testing::HasSubstr("<MV740>-.-</MV740><MV640>-.-</MV640><MVR>-.-</MVR>"
                                   "<MVG>-.-</MVG><MVB>-.-</MVB>"));
}

TEST_F(XmlSnapshotTest, MarkupFromAReportIsEscaped) {
    form.SetText(FormText::Lmv, "<a&b>");
    form.SetText(FormText::Ltir, "</TIR");
    const std::string document = snapshot.Compose();
    EXPECT_THAT(document, testing::HasSubstr("<MV740>&lt;a&amp;b&gt;</MV740>"));
    QXmlStreamReader reader(QByteArray::fromStdString(document));
    QStringList elements;
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement)
            elements << reader.name().toString();
    }
    EXPECT_FALSE(reader.hasError()) << reader.errorString().toStdString();
    EXPECT_EQ(elements, QStringList({"NOXA", "Date", "Time", "JD2000", "ST", "MV740", "MV640",
                                     "MVR", "MVG", "MVB", "TAmb", "TIR"}));
}

TEST_F(XmlSnapshotTest, TheTimeIsReadBeforeTheDate) {
    TickingClock midnight(QDateTime(QDate(2023, 4, 9), QTime(23, 59, 59, 999)));
    XmlSnapshot ticking(form, midnight, locale, dir.Dir());
    EXPECT_THAT(ticking.Compose(),
                testing::StartsWith("<NOXA> <Date>10/04/2023</Date><Time>23:59:59</Time>"));
}

TEST_F(XmlSnapshotTest, AFailureIsLoggedOnceAndTheNextWriteRecovers) {
    ASSERT_TRUE(QDir(dir.Path()).mkdir(XmlSnapshot::kFileName));
    snapshot.WriteXmlSnapshot();
    snapshot.WriteXmlSnapshot();
    ASSERT_EQ(form.LogLines().size(), 2u);
    EXPECT_THAT(form.LogLines()[1], testing::StartsWith("noxa.xml not written: "));
    ASSERT_TRUE(QDir(dir.Path()).rmdir(XmlSnapshot::kFileName));
    snapshot.WriteXmlSnapshot();
    EXPECT_EQ(form.LogLines().back(), "Created file: noxa.xml");
}

TEST_F(XmlSnapshotTest, AReaderNeverMeetsABrokenDocument) {
    snapshot.WriteXmlSnapshot();
    std::atomic<bool> done = false;
    std::atomic<int> reads = 0, broken = 0;
    const QString path = QDir(dir.Path()).filePath(XmlSnapshot::kFileName);
    std::thread reader([&] {
        while (!done) {
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly)) {
                ++broken;
                continue;
            }
            QXmlStreamReader xml(file.readAll());
            while (!xml.atEnd()) xml.readNext();
            if (xml.hasError()) ++broken;
            ++reads;
        }
    });
    for (int i = 0; i < 2000; ++i) {
        form.SetText(FormText::Lmv,
                     std::to_string(i) + std::string(static_cast<std::size_t>(i % 50), 'x'));
        snapshot.WriteXmlSnapshot();
    }
    done = true;
    reader.join();
    EXPECT_GT(reads.load(), 0);
    EXPECT_EQ(broken.load(), 0);
}

}  // namespace
}  // namespace noxa
