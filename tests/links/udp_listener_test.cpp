#include "links/udp_listener.h"

#include <QTest>
#include <QUdpSocket>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace noxa {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// A listener on a free loopback port, with a sender and a record of what it handed over.
class ListenerTest : public ::testing::Test {
protected:
    void SetUp() override {
        QObject::connect(&listener, &UdpListener::datagramReceived, [this](QByteArrayView d) {
            received.emplace_back(d.data(), static_cast<std::size_t>(d.size()));
        });
        ASSERT_TRUE(listener.Activate());
    }

    void Send(const QByteArray& datagram) {
        sender.writeDatagram(datagram, QHostAddress::LocalHost, listener.LocalPort());
    }
    // Sends a marker datagram and waits until the listener has handled everything before it.
    void Settle() {
        Send("settle");
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return !received.empty() && received.back() == "settle"; }, 5000));
        received.pop_back();
    }

    UdpListener listener{0};
    std::vector<std::string> received;
    QUdpSocket sender;
};

TEST_F(ListenerTest, HandsOverEveryDatagramAsItCame) {
    Send(R"({"name":"qelvoxxx","F1":{}})");
    Send(R"({"name":"otherstn","F1":{}})");
    Send(QByteArray("head\0tail", 9));
    Settle();
    EXPECT_THAT(received,
                ElementsAre(R"({"name":"qelvoxxx","F1":{}})", R"({"name":"otherstn","F1":{}})",
                            std::string("head\0tail", 9)));
}

TEST_F(ListenerTest, GoesOnAfterEmptyAndOversizedDatagrams) {
    Send(QByteArray());
    Send(QByteArray(20000, 'x'));
    Send("after");
    Settle();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].size(), 8192u);  // cut to the receive buffer
    EXPECT_EQ(received[1], "after");
}

TEST_F(ListenerTest, HandlesABurstWithoutLosingDatagrams) {
    constexpr int kBurst = 300;  // more than one turn of the event loop handles
    for (int i = 0; i < kBurst; ++i) Send("qelvoxxx " + QByteArray::number(i));
    Settle();
    ASSERT_EQ(received.size(), static_cast<std::size_t>(kBurst));
    EXPECT_EQ(received.front(), "qelvoxxx 0");
    EXPECT_EQ(received.back(), "qelvoxxx 299");
}

TEST_F(ListenerTest, KeepsReceivingAfterAQueueLongerThanOneTurn) {
    // Thousands of datagrams queue up while the event loop is busy elsewhere; the listener
    // works through them a batch per turn and still hears the next one.
    constexpr int kQueued = 3000;
    for (int i = 0; i < kQueued; ++i) Send("qelvoxxx " + QByteArray::number(i));
    Settle();
    EXPECT_EQ(received.size(), static_cast<std::size_t>(kQueued));
    QTest::qWait(50);
    Send("qelvoxxx later");
    Settle();
    EXPECT_EQ(received.back(), "qelvoxxx later");
}

TEST(ListenerPortTaken, ReportsTheFailureAndRetriesOnTheNextActivation) {
    QUdpSocket holder;  // binds without sharing, as another program would
    ASSERT_TRUE(holder.bind(QHostAddress::AnyIPv4, 0, QAbstractSocket::DontShareAddress));
    UdpListener listener(holder.localPort());
    std::vector<std::pair<quint16, QString>> failures;
    QObject::connect(&listener, &UdpListener::openFailed, [&](quint16 port, const QString& reason) {
        failures.emplace_back(port, reason);
    });
    EXPECT_FALSE(listener.Activate());
    EXPECT_FALSE(listener.IsActive());
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].first, holder.localPort());
    EXPECT_FALSE(failures[0].second.isEmpty());
    holder.close();
    EXPECT_TRUE(listener.Activate());
    EXPECT_EQ(failures.size(), 1u);
}

}  // namespace
}  // namespace noxa
