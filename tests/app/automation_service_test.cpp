// The automation service inside a station, called over a private session bus by clients on
// connections of their own and by a client program.
#include "app/automation_service.h"

#include "../e2e/station_files.h"
#include "app/automation_close_check.h"
#include "app/main_window.h"
#include "app/station.h"
#include "automation_test_client.h"
#include "core/form_model.h"
#include "support/pty_pair.h"
#include "support/station_fixture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDBusArgument>
#include <QDBusMetaType>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTimer>
#include <QXmlStreamReader>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace noxa {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

constexpr int kWaitMs = 20000;

bool WaitFor(const std::function<bool()>& condition) {
    return QTest::qWaitFor(condition, kWaitMs);
}

// The labels Readings() reports, then LinkOk.
const std::vector<QString> kReadingNames = {
    "LCI1", "LCI2", "LCI3", "LCI4",  "LClouds", "LDiaJ2000", "LHoraLocal", "LHoraSideral",
    "LHz",  "LHz2", "LHzB", "LHzG",  "LHzR",    "LinkOk",    "Lmv",        "Lmv2",
    "LmvB", "LmvG", "LmvR", "Lnelm", "Ltir",    "Ltsensor"};

QMap<QString, QString> ReadingsOf(const QDBusMessage& reply) {
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1) return {};
    return qdbus_cast<QMap<QString, QString>>(reply.arguments().constFirst());
}

std::vector<QString> Keys(const QMap<QString, QString>& map) {
    return {map.keyBegin(), map.keyEnd()};
}

// A report of the instrument with fixed values, padded with a field of its own to `length`
// bytes so that it also makes a whole serial frame.
std::string FixedReport(std::size_t length = 0) {
    const std::string head = R"({"name":"qelvoxxx","seq":1,"note":")";
    const std::string tail =
        R"(","F1":{"freq":1234.5,"mag":21.25,"zp":20.37},)"
        R"("F2":{"freq":2000.0,"mag":20.90,"zp":20.00},"F3":{"freq":600.0,"mag":20.80,"zp":19.60},)"
        R"("F4":{"freq":400.0,"mag":21.50,"zp":19.40,"tamb":10.25,"tsky":-15.30}})";
    const std::size_t pad =
        length > head.size() + tail.size() ? length - head.size() - tail.size() : 0;
    return head + std::string(pad, 'n') + tail;
}

bool IsError(const QDBusMessage& reply, QDBusError::ErrorType type) {
    return reply.type() == QDBusMessage::ErrorMessage &&
           reply.errorName() == QDBusError::errorString(type);
}

// The shared station, not started, with its automation service on the session bus and one
// client.
class AutomationServiceTest : public test::StationTest {
protected:
    AutomationServiceTest() = default;
    explicit AutomationServiceTest(const std::function<void(StationOptions&)>& adjust)
        : StationTest(adjust) {}

    void SetUp() override {
        if (!QDBusConnection::sessionBus().isConnected()) {
            GTEST_SKIP() << "no session bus; the test runs under dbus-run-session";
        }
        QString error;
        ASSERT_TRUE(service.Publish(QDBusConnection::sessionBus(), error)) << error.toStdString();
        ASSERT_TRUE(client.Connected());
    }

    FormModel& Form() { return station.Form(); }
    const SerialStreamParser& Parser() { return station.Framing(); }
    std::string RingText(std::uint32_t from, std::uint32_t count) {
        std::string text;
        for (std::uint32_t i = 0; i < count; ++i) text += Parser().RingByte(from + i);
        return text;
    }

    AutomationService service{station.Form(), station.Framing()};
    test::AutomationClient client{"automation-client-a"};
};

TEST_F(AutomationServiceTest, PropertiesReadTheLeadingIntegerOfTheirLabels) {
    // The window's "--" reads as 0, and so does every reserved property.
    for (const std::string_view name : AutomationPropertyNames()) {
        const QVariant value = client.Property(QString::fromLatin1(name.data(), name.size()));
        ASSERT_EQ(value.typeId(), QMetaType::Int) << name;
        EXPECT_EQ(value.toInt(), name == "LinkOk" ? 1 : 0) << name;
    }

    Form().SetText(FormText::LaX, "12.7");
    Form().SetText(FormText::LaY, "-3 m/s2");
    Form().SetText(FormText::LaZ, "x5");
    Form().SetText(FormText::LmX, "  42");
    Form().SetText(FormText::LmY, "+7");
    Form().SetText(FormText::LmZ, "99999999999");
    // Texts that are not properties' own leave them alone.
    Form().SetText(FormText::Lmv, "21.5");
    Form().SetText(FormText::LtA, "33");
    const std::map<QString, int> expected = {{"AccelX", 12}, {"AccelY", -3}, {"AccelZ", 0},
                                             {"MagX", 42},   {"MagY", 7},    {"MagZ", 2147483647}};
    for (const std::string_view name : AutomationPropertyNames()) {
        const QString property = QString::fromLatin1(name.data(), name.size());
        const auto wanted = expected.find(property);
        const int value = wanted != expected.end() ? wanted->second : name == "LinkOk" ? 1 : 0;
        EXPECT_EQ(client.Property(property), QVariant(value)) << name;
    }
}

TEST_F(AutomationServiceTest, LinkOkIsZeroOnlyWhileTheIndicatorIsPureRed) {
    Form().SetRxColour(kIndicatorGray);
    EXPECT_EQ(client.Property("LinkOk"), QVariant(1));
    Form().SetRxColour(kIndicatorRed);
    EXPECT_EQ(client.Property("LinkOk"), QVariant(0));
    Form().SetRxColour(Rgb{255, 0, 1});
    EXPECT_EQ(client.Property("LinkOk"), QVariant(1));
}

TEST_F(AutomationServiceTest, GetAllGivesEveryPropertyAndNoneCanBeSet) {
    Form().SetText(FormText::LmY, "-250");
    for (const QString& interface : {QString(kAutomationInterface), QString()}) {
        const QDBusMessage reply =
            client.CallMethod("GetAll", {interface}, "org.freedesktop.DBus.Properties");
        ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
        const QVariantMap values = qdbus_cast<QVariantMap>(reply.arguments().constFirst());
        EXPECT_EQ(values.size(), 18);
        EXPECT_EQ(values.value("MagY"), QVariant(-250));
        EXPECT_EQ(values.value("LinkOk"), QVariant(1));
        EXPECT_EQ(values.value("Reserved11"), QVariant(0));
    }
    // The standard interfaces have no properties; an unknown one is an error.
    const QDBusMessage standard = client.CallMethod("GetAll", {"org.freedesktop.DBus.Peer"},
                                                    "org.freedesktop.DBus.Properties");
    ASSERT_EQ(standard.type(), QDBusMessage::ReplyMessage);
    EXPECT_TRUE(qdbus_cast<QVariantMap>(standard.arguments().constFirst()).isEmpty());
    EXPECT_TRUE(
        IsError(client.CallMethod("GetAll", {"Test.Other"}, "org.freedesktop.DBus.Properties"),
                QDBusError::UnknownInterface));

    EXPECT_TRUE(IsError(
        client.CallMethod(
            "Set", {QString(kAutomationInterface), "MagX", QVariant::fromValue(QDBusVariant(5))},
            "org.freedesktop.DBus.Properties"),
        QDBusError::PropertyReadOnly));
    EXPECT_EQ(client.Property("MagX"), QVariant(0));
    EXPECT_TRUE(IsError(client.GetProperty("Lmv"), QDBusError::UnknownProperty));
    EXPECT_TRUE(IsError(client.GetProperty("MagX", "Test.Other"), QDBusError::UnknownProperty));
}

TEST_F(AutomationServiceTest, IntrospectionDescribesTheInterface) {
    const QDBusMessage reply =
        client.CallMethod("Introspect", {}, "org.freedesktop.DBus.Introspectable");
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage);

    // Every member of Test.IDedazaduz, with its type, and the standard interfaces.
    std::vector<std::string> members;
    std::vector<std::string> interfaces;
    QXmlStreamReader xml(reply.arguments().constFirst().toString());
    QString interface;
    QString method;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) continue;
        const auto attributes = xml.attributes();
        if (xml.name() == u"interface") {
            interface = attributes.value("name").toString();
            interfaces.push_back(interface.toStdString());
        } else if (interface != kAutomationInterface) {
            continue;
        } else if (xml.name() == u"annotation") {
            members.push_back(QStringLiteral("annotation %1 %2")
                                  .arg(attributes.value("name"), attributes.value("value"))
                                  .toStdString());
        } else if (xml.name() == u"property") {
            members.push_back(QStringLiteral("property %1 %2 %3")
                                  .arg(attributes.value("name"), attributes.value("type"),
                                       attributes.value("access"))
                                  .toStdString());
        } else if (xml.name() == u"method") {
            method = attributes.value("name").toString();
            members.push_back("method " + method.toStdString());
        } else if (xml.name() == u"arg") {
            members.push_back(
                QStringLiteral("  %1 %2 %3")
                    .arg(method, attributes.value("type"), attributes.value("direction"))
                    .toStdString());
        }
    }
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_THAT(interfaces,
                ElementsAre("Test.IDedazaduz", "org.freedesktop.DBus.Properties",
                            "org.freedesktop.DBus.Introspectable", "org.freedesktop.DBus.Peer"));
    std::vector<std::string> expected = {
        "annotation org.freedesktop.DBus.Property.EmitsChangedSignal false"};
    for (const std::string_view name : AutomationPropertyNames()) {
        expected.push_back("property " + std::string(name) + " i read");
    }
    for (const char* name : {"Reserved12", "PutText", "Reserved13", "Reserved14", "Reserved15",
                             "Reserved16", "Reserved17"}) {
        const bool text = std::string_view(name) == "PutText";
        expected.push_back(std::string("method ") + name);
        expected.push_back(std::string("  ") + name + (text ? " s in" : " i in"));
    }
    expected.push_back("method Readings");
    expected.push_back("  Readings a{ss} out");
    expected.push_back("annotation org.qtproject.QtDBus.QtTypeName.Out0 QMap<QString,QString>");
    EXPECT_THAT(members, ElementsAreArray(expected));
}

TEST_F(AutomationServiceTest, ReservedMethodsTakeAnyOneArgumentAndDoNothing) {
    const std::deque<std::string> log = Form().LogLines();
    for (const QString name :
         {"Reserved12", "Reserved13", "Reserved14", "Reserved15", "Reserved16", "Reserved17"}) {
        for (const QVariant& argument : {QVariant(5), QVariant("text"), QVariant(2.5)}) {
            const QDBusMessage reply = client.CallMethod(name, {argument});
            EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << name.toStdString();
            EXPECT_TRUE(reply.arguments().isEmpty());
        }
        EXPECT_TRUE(IsError(client.CallMethod(name), QDBusError::InvalidArgs));
        EXPECT_TRUE(IsError(client.CallMethod(name, {1, 2}), QDBusError::InvalidArgs));
    }
    EXPECT_EQ(Parser().RingPending(), 0u);
    EXPECT_EQ(Form().LogLines(), log);
    EXPECT_TRUE(IsError(client.CallMethod("Reserved18", {1}), QDBusError::UnknownMethod));
    EXPECT_TRUE(
        IsError(client.CallMethod("Reserved12", {1}, "Test.Other"), QDBusError::UnknownInterface));
}

TEST_F(AutomationServiceTest, PutTextAppendsToTheSerialRingWithoutParsing) {
    ASSERT_EQ(client.CallMethod("PutText", {"{abc"}).type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(Parser().RingPending(), 4u);
    EXPECT_EQ(RingText(0, 4), "{abc");
    EXPECT_FALSE(Parser().InFrame());

    // Text goes in as 8-bit text: "é°" is four bytes.
    ASSERT_EQ(client.CallMethod("PutText", {QString::fromUtf8("é°")}).type(),
              QDBusMessage::ReplyMessage);
    EXPECT_EQ(RingText(4, 4), "\xc3\xa9\xc2\xb0");

    // 199 bytes are the most one text may hold; 200 are dropped whole, as is an empty text.
    ASSERT_EQ(client.CallMethod("PutText", {QString(199, 'x')}).type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(Parser().RingPending(), 207u);
    EXPECT_EQ(Parser().RingWrite(), 207u);
    for (const QString& dropped : {QString(200, 'y'), QString(1500, 'y'), QString()}) {
        ASSERT_EQ(client.CallMethod("PutText", {dropped}).type(), QDBusMessage::ReplyMessage);
        EXPECT_EQ(Parser().RingPending(), 207u);
        EXPECT_EQ(Parser().RingWrite(), 207u);
    }
    // Nothing in the station parses it in network mode.
    station.PollSerial();
    EXPECT_EQ(Parser().RingPending(), 207u);

    EXPECT_TRUE(IsError(client.CallMethod("PutText", {5}), QDBusError::InvalidArgs));
    EXPECT_TRUE(IsError(client.CallMethod("PutText"), QDBusError::InvalidArgs));
}

TEST_F(AutomationServiceTest, ReadingsGiveTheDisplayedValuesByName) {
    Form().SetRxColour(kIndicatorRed);
    QMap<QString, QString> readings = ReadingsOf(client.CallMethod("Readings"));
    EXPECT_THAT(Keys(readings), ElementsAreArray(kReadingNames));
    EXPECT_EQ(readings.value("Lmv"), "--");
    EXPECT_EQ(readings.value("Ltir"), "- -");
    EXPECT_EQ(readings.value("LHoraLocal"), "Local Time");
    EXPECT_EQ(readings.value("LinkOk"), "0");
    EXPECT_TRUE(IsError(client.CallMethod("Readings", {1}), QDBusError::InvalidArgs));

    station.ReceiveDatagram(FixedReport());
    station.Tick();  // the clock and the instrument constants
    readings = ReadingsOf(client.CallMethod("Readings"));
    EXPECT_EQ(readings.value("Lmv"), "21.25");
    EXPECT_EQ(readings.value("LHz"), "1234.5");
    EXPECT_EQ(readings.value("LmvB"), "21.50");
    EXPECT_EQ(readings.value("LinkOk"), "1");
    EXPECT_EQ(readings.value("LHoraLocal"), "22:00:05");
    for (std::size_t i = 0; i < kFormTextCount; ++i) {
        const auto id = static_cast<FormText>(i);
        const QString name = QString::fromLatin1(ComponentName(id));
        if (readings.contains(name)) {
            EXPECT_EQ(readings.value(name).toStdString(), Form().Text(id)) << name.toStdString();
        }
    }
}

TEST_F(AutomationServiceTest, ReadingsFollowTheSimulatorsReports) {
    const QString simulator = QStringLiteral(NOXA_SIM_BIN);
    int decoded = 0;
    QObject::connect(&station.Feed(), &ObservationFeed::observed, [&] { ++decoded; });
    station.Connect();  // the broadcast listener
    QProcess sim;
    sim.setProcessChannelMode(QProcess::ForwardedChannels);
    sim.start(simulator, {"--port", QString::number(broadcastPort), "--count", "5", "--interval-ms",
                          "20", "--seed", "7"});
    ASSERT_TRUE(WaitFor([&] { return sim.state() == QProcess::NotRunning; }));
    ASSERT_EQ(sim.exitCode(), 0);
    ASSERT_TRUE(WaitFor([&] { return decoded == 5; }));

    const QMap<QString, QString> readings = ReadingsOf(client.CallMethod("Readings"));
    EXPECT_EQ(readings.value("LinkOk"), "1");
    for (const FormText id : {FormText::Lmv, FormText::LHz, FormText::Lmv2, FormText::LmvR,
                              FormText::LmvG, FormText::LmvB, FormText::Ltir, FormText::Ltsensor}) {
        const QString name = QString::fromLatin1(ComponentName(id));
        EXPECT_EQ(readings.value(name).toStdString(), Form().Text(id)) << name.toStdString();
        EXPECT_NE(readings.value(name), QString::fromLatin1(InitialText(id))) << name.toStdString();
    }
    // A magnitude near 21, as the simulator sends.
    EXPECT_NEAR(readings.value("Lmv").toDouble(), 21, 3);
}

TEST_F(AutomationServiceTest, CountsDistinctClientsUntilTheyLeaveTheBus) {
    QSignalSpy counts(&service, &AutomationService::clientCountChanged);
    QSignalSpy lastLeft(&service, &AutomationService::lastClientLeft);
    EXPECT_EQ(service.ClientCount(), 0);

    ASSERT_TRUE(client.Property("LinkOk").isValid());
    ASSERT_TRUE(client.Property("MagX").isValid());
    EXPECT_EQ(service.ClientCount(), 1);

    test::AutomationClient second("automation-client-b");
    test::AutomationClient third("automation-client-c");
    ASSERT_NE(second.UniqueName(), client.UniqueName());
    ASSERT_EQ(second.CallMethod("Readings").type(), QDBusMessage::ReplyMessage);
    ASSERT_EQ(third.CallMethod("Introspect", {}, "org.freedesktop.DBus.Introspectable").type(),
              QDBusMessage::ReplyMessage);
    EXPECT_EQ(service.ClientCount(), 3);
    // A call that fails still comes from a client.
    ASSERT_TRUE(IsError(third.CallMethod("NoSuchMethod"), QDBusError::UnknownMethod));
    EXPECT_EQ(service.ClientCount(), 3);

    second.Disconnect();
    ASSERT_TRUE(WaitFor([&] { return service.ClientCount() == 2; }));
    client.Disconnect();
    third.Disconnect();
    ASSERT_TRUE(WaitFor([&] { return service.ClientCount() == 0; }));
    EXPECT_EQ(lastLeft.count(), 1);
    std::vector<int> seen;
    for (const auto& signal : counts) seen.push_back(signal.at(0).toInt());
    EXPECT_THAT(seen, ElementsAre(1, 2, 3, 2, 1, 0));
}

TEST_F(AutomationServiceTest, AClientProgramCountsWhileItIsConnected) {
    const QString dbusSend = QStandardPaths::findExecutable("dbus-send");
    if (dbusSend.isEmpty()) GTEST_SKIP() << "dbus-send is not installed";
    QSignalSpy counts(&service, &AutomationService::clientCountChanged);
    QSignalSpy lastLeft(&service, &AutomationService::lastClientLeft);
    Form().SetText(FormText::LmX, "-17");

    QProcess program;
    program.start(dbusSend,
                  {"--session", "--print-reply", "--dest=Test.Dedazaduz", "/Dedazaduz",
                   "org.freedesktop.DBus.Properties.Get", "string:Test.IDedazaduz", "string:MagX"});
    ASSERT_TRUE(WaitFor([&] { return program.state() == QProcess::NotRunning; }));
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_THAT(program.readAllStandardOutput().toStdString(), HasSubstr("int32 -17"));

    ASSERT_TRUE(WaitFor([&] { return lastLeft.count() == 1; }));
    ASSERT_EQ(counts.count(), 2);
    EXPECT_EQ(counts.at(0).at(0), QVariant(1));
    EXPECT_EQ(counts.at(1).at(0), QVariant(0));
}

TEST_F(AutomationServiceTest, AClientGoneBeforeItsCallWasHandledDoesNotStayCounted) {
    QSignalSpy lastLeft(&service, &AutomationService::lastClientLeft);
    QDBusMessage put = QDBusMessage::createMethodCall(kAutomationBusName, kAutomationObjectPath,
                                                      kAutomationInterface, "PutText");
    put.setArguments({"{gone"});
    put.setAutoStartService(false);
    ASSERT_TRUE(client.Bus().send(put));
    // A blocking call to the bus itself runs no event loop here: once it is answered the bus
    // has passed the text on, and the station has not handled it yet.
    const QDBusMessage ping = client.Bus().call(
        QDBusMessage::createMethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                       "org.freedesktop.DBus.Peer", "Ping"),
        QDBus::Block);
    ASSERT_EQ(ping.type(), QDBusMessage::ReplyMessage);
    ASSERT_EQ(Parser().RingPending(), 0u);
    client.Disconnect();

    ASSERT_TRUE(WaitFor([&] { return Parser().RingPending() == 5; }));
    ASSERT_TRUE(WaitFor([&] { return lastLeft.count() == 1; }));
    EXPECT_EQ(service.ClientCount(), 0);
}

TEST_F(AutomationServiceTest, ASecondServiceFindsTheNameTaken) {
    AutomationService other(station.Form(), station.Framing());
    QString error;
    EXPECT_FALSE(other.Publish(QDBusConnection::sessionBus(), error));
    EXPECT_EQ(error, "the object /Dedazaduz is taken");

    test::AutomationClient elsewhere("automation-client-elsewhere");
    error.clear();
    EXPECT_FALSE(other.Publish(elsewhere.Bus(), error));
    EXPECT_EQ(error, "the name Test.Dedazaduz is held by another program");
    EXPECT_FALSE(other.Published());
    // The service that holds the name still answers.
    EXPECT_EQ(client.Property("LinkOk"), QVariant(1));

    EXPECT_FALSE(other.Publish(QDBusConnection(QString("no-such-connection")), error));
    EXPECT_EQ(error, "no session bus");
}

TEST_F(AutomationServiceTest, WithdrawnServiceLeavesTheBus) {
    service.Withdraw();
    const QDBusMessage reply = client.GetProperty("LinkOk");
    EXPECT_EQ(reply.type(), QDBusMessage::ErrorMessage);
    QString error;
    ASSERT_TRUE(service.Publish(QDBusConnection::sessionBus(), error));
    EXPECT_EQ(client.Property("LinkOk"), QVariant(1));
}

// Closing the window while clients are connected asks first.
class AutomationCloseTest : public AutomationServiceTest {
protected:
    void SetUp() override {
        AutomationServiceTest::SetUp();
        if (IsSkipped()) return;
        window.SetCloseCheck(AutomationCloseCheck(
            service, &window, [this](QWidget* parent, const QString& caption, const QString& text) {
                questions.push_back({parent, caption, text});
                return answer;
            }));
        window.show();
    }

    struct Question {
        QWidget* parent;
        QString caption;
        QString text;
    };
    MainWindow window{station};
    std::vector<Question> questions;
    bool answer = false;
};

TEST_F(AutomationCloseTest, ClosesWithoutAskingWhenNoClientIsConnected) {
    EXPECT_TRUE(window.close());
    EXPECT_TRUE(questions.empty());
    EXPECT_FALSE(window.isVisible());
}

TEST_F(AutomationCloseTest, AsksWhileAClientIsConnectedAndNoKeepsTheWindow) {
    ASSERT_TRUE(client.Property("LinkOk").isValid());
    answer = false;
    EXPECT_FALSE(window.close());
    EXPECT_TRUE(window.isVisible());
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0].parent, &window);
    EXPECT_EQ(questions[0].caption, "COM Server Warning");
    EXPECT_EQ(questions[0].text,
              "There are still active COM objects in this application.  One or more clients may "
              "have references to these objects, so manually closing this application may cause "
              "those client application(s) to fail.\r\n\r\nAre you sure you want to close this "
              "application?");

    answer = true;
    EXPECT_TRUE(window.close());
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(questions.size(), 2u);
}

TEST_F(AutomationCloseTest, AsksNoMoreOnceTheLastClientHasLeft) {
    ASSERT_TRUE(client.Property("LinkOk").isValid());
    client.Disconnect();
    ASSERT_TRUE(WaitFor([&] { return service.ClientCount() == 0; }));
    EXPECT_TRUE(window.close());
    EXPECT_TRUE(questions.empty());
}

TEST(AutomationWarningBox, IsAYesNoWarningWithNoAsTheDefault) {
    std::string seen;
    QTimer answerer;
    answerer.setInterval(10);
    QObject::connect(&answerer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) return;
        answerer.stop();
        seen = box->windowTitle().toStdString() + "|" + box->text().toStdString() + "|" +
               std::to_string(box->icon() == QMessageBox::Warning) + "|" +
               std::to_string(box->standardButtons() == (QMessageBox::Yes | QMessageBox::No)) +
               "|" +
               std::to_string(box->defaultButton() ==
                              qobject_cast<QPushButton*>(box->button(QMessageBox::No)));
        box->defaultButton()->click();
    });
    answerer.start();
    EXPECT_FALSE(AskWithWarningBox(nullptr, kCloseWarningCaption, kCloseWarningText));
    EXPECT_EQ(seen,
              "COM Server Warning|There are still active COM objects in this application.  One or "
              "more clients may have references to these objects, so manually closing this "
              "application may cause those client application(s) to fail.\n\nAre you sure you "
              "want to close this application?|1|1|1");
}

// A station in serial mode, its port one end of a pty pair, fed whole reports through
// PutText: they are parsed with the port's bytes at the next poll that finds any.
class AutomationSerialModeTest : public AutomationServiceTest {
protected:
    AutomationSerialModeTest() : AutomationServiceTest(test::SerialDeviceInWorkDir()) {}

    test::PtyPair cable{dir.Path()};
};

TEST_F(AutomationSerialModeTest, TextPutByAClientIsDecodedAtTheNextPoll) {
    test::WriteConfiguration(QDir(dir.Path()), {{"EPuerto", "1"}});
    ASSERT_TRUE(cable.Start()) << cable.Error();
    station.Start();
    // No timers: the test drives the poll itself.
    ASSERT_TRUE(station.Config().SerialMode());
    ASSERT_THAT(Log(), testing::Contains("Serial Port: 1 OK"));

    // A whole report as one frame, in pieces of fewer than 200 bytes.
    const std::string report = FixedReport(260);
    ASSERT_EQ(report.size(), 260u);
    for (const std::string& piece : {report.substr(0, 130), report.substr(130)}) {
        ASSERT_EQ(client.CallMethod("PutText", {QString::fromStdString(piece)}).type(),
                  QDBusMessage::ReplyMessage);
    }
    EXPECT_EQ(station.Framing().RingPending(), 260u);
    station.PollSerial();  // nothing waits at the port: nothing is parsed
    EXPECT_EQ(ReadingsOf(client.CallMethod("Readings")).value("Lmv"), "--");

    // One byte from the instrument, and the poll that finds it parses it with the fed text.
    station.Form().SetRxColour(kIndicatorRed);
    ASSERT_TRUE(cable.WriteFar("\n"));
    ASSERT_TRUE(WaitFor([&] {
        station.PollSerial();
        return Parser().RingPending() == 0;
    }));
    EXPECT_EQ(Parser().FramesCompleted(), 1u);
    const QMap<QString, QString> readings = ReadingsOf(client.CallMethod("Readings"));
    EXPECT_EQ(readings.value("Lmv"), "21.25");
    EXPECT_EQ(readings.value("Lmv2"), "20.90");
    EXPECT_EQ(readings.value("LmvB"), "21.50");
    EXPECT_EQ(readings.value("LinkOk"), "1");
    EXPECT_EQ(client.Property("LinkOk"), QVariant(1));
}

}  // namespace
}  // namespace noxa
