#include "links/udp_listener.h"

#include "core/form_model.h"

#include <QTest>
#include <QUdpSocket>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace noxa {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

// A listener on a free loopback port, with a sender and a record of what reached the decoder.
class ListenerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(listener.Activate()); }

    void Send(const QByteArray& datagram) {
        sender.writeDatagram(datagram, QHostAddress::LocalHost, listener.LocalPort());
    }
    // Sends a marker datagram and waits until the listener has handled everything before it.
    void Settle() {
        form.SetText(FormText::Esitio, "qelvoxxx");
        Send("qelvoxxx settle");
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return !decoded.empty() && decoded.back() == "qelvoxxx settle"; }, 5000));
        decoded.pop_back();
    }

    FormModel form;
    std::vector<std::string> decoded;
    UdpListener listener{form, [this](std::string_view text) { decoded.emplace_back(text); }, 0};
    QUdpSocket sender;
};

TEST_F(ListenerTest, DecodesOnlyDatagramsThatNameTheStation) {
    Send(R"({"name":"qelvoxxx","F1":{}})");
    Send(R"({"name":"otherstn","F1":{}})");
    Send(R"({"name":"xqelvoxxxy"})");  // a substring test: a longer name also matches
    Settle();
    EXPECT_THAT(decoded, ElementsAre(R"({"name":"qelvoxxx","F1":{}})", R"({"name":"xqelvoxxxy"})"));
    EXPECT_THAT(form.LogLines(), ElementsAre("Log"));  // dropped without a log line
}

TEST_F(ListenerTest, LogsEveryDatagramWhenAskedTo) {
    form.SetChecked(FormCheck::CBvermensaje, true);
    Send("from otherstn");
    Send("from qelvoxxx");
    Settle();
    EXPECT_THAT(decoded, ElementsAre("from qelvoxxx"));
    EXPECT_THAT(form.LogLines(),
                ElementsAre("Log", "from otherstn", "from qelvoxxx", "qelvoxxx settle"));
}

TEST_F(ListenerTest, CutsADatagramAtItsFirstZeroByte) {
    form.SetChecked(FormCheck::CBvermensaje, true);
    Send(QByteArray("qelvoxxx head\0tail", 18));
    Send(QByteArray("\0qelvoxxx", 9));
    Settle();
    EXPECT_THAT(decoded, ElementsAre("qelvoxxx head"));
    EXPECT_EQ(form.LogLines()[1], "qelvoxxx head");
    EXPECT_EQ(form.LogLines()[2], "");
}

TEST_F(ListenerTest, ReadsTheStationNameAtEveryDatagram) {
    form.SetText(FormText::Esitio, "alpha");
    listener.IdUDPServer1UDPRead("report of alpha");
    listener.IdUDPServer1UDPRead("report of beta");
    form.SetText(FormText::Esitio, "beta");
    listener.IdUDPServer1UDPRead("report of alpha");
    listener.IdUDPServer1UDPRead("report of beta");
    form.SetText(FormText::Esitio, "");
    listener.IdUDPServer1UDPRead("report of alpha");
    EXPECT_THAT(decoded, ElementsAre("report of alpha", "report of beta"));
}

TEST_F(ListenerTest, GoesOnAfterEmptyAndOversizedDatagrams) {
    Send(QByteArray());
    QByteArray huge(20000, 'x');
    huge.replace(0, 8, "qelvoxxx");
    Send(huge);
    Send("qelvoxxx after");
    Settle();
    ASSERT_EQ(decoded.size(), 2u);
    EXPECT_EQ(decoded[0].size(), 8192u);  // cut to the receive buffer
    EXPECT_EQ(decoded[1], "qelvoxxx after");
}

TEST_F(ListenerTest, HandlesABurstWithoutLosingDatagrams) {
    constexpr int kBurst = 300;  // more than one turn of the event loop handles
    for (int i = 0; i < kBurst; ++i) Send("qelvoxxx " + QByteArray::number(i));
    Settle();
    ASSERT_EQ(decoded.size(), static_cast<std::size_t>(kBurst));
    EXPECT_EQ(decoded.front(), "qelvoxxx 0");
    EXPECT_EQ(decoded.back(), "qelvoxxx 299");
}

TEST_F(ListenerTest, KeepsReceivingAfterAQueueLongerThanOneTurn) {
    // Thousands of datagrams queue up while the event loop is busy elsewhere; the listener
    // works through them a batch per turn and still hears the next one.
    constexpr int kQueued = 3000;
    for (int i = 0; i < kQueued; ++i) Send("qelvoxxx " + QByteArray::number(i));
    Settle();
    EXPECT_EQ(decoded.size(), static_cast<std::size_t>(kQueued));
    QTest::qWait(50);
    Send("qelvoxxx later");
    Settle();
    EXPECT_EQ(decoded.back(), "qelvoxxx later");
}

TEST(ListenerPortTaken, LogsOnceAndRetriesOnTheNextActivation) {
    QUdpSocket holder;  // binds without sharing, as another program would
    ASSERT_TRUE(holder.bind(QHostAddress::AnyIPv4, 0, QAbstractSocket::DontShareAddress));
    FormModel form;
    UdpListener listener(
        form, [](std::string_view) {}, holder.localPort());
    EXPECT_FALSE(listener.Activate());
    EXPECT_FALSE(listener.IsActive());
    ASSERT_EQ(form.LogLines().size(), 2u);
    EXPECT_THAT(form.LogLines()[1], HasSubstr("could not be opened"));
    EXPECT_THAT(form.LogLines()[1], HasSubstr(std::to_string(holder.localPort())));
    holder.close();
    EXPECT_TRUE(listener.Activate());
}

}  // namespace
}  // namespace noxa
