#include "links/tcp_sockets.h"

#include "support/tcp_servers.h"

#include <QTest>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/socket.h>

#include <algorithm>
#include <string>
#include <vector>

namespace noxa {
namespace {

using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;

// The four sockets against loopback servers, with every event they report as "<event> <n>".
class TcpSocketsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(net.Listen());
        const auto record = [this](const char* event) {
            return [this, event](int number) {
                events.push_back(std::string(event) + " " + std::to_string(number));
            };
        };
        QObject::connect(&sockets, &TcpSockets::connecting, record("connecting"));
        QObject::connect(&sockets, &TcpSockets::connected, record("connected"));
        QObject::connect(&sockets, &TcpSockets::disconnected, record("disconnected"));
        QObject::connect(&sockets, &TcpSockets::failed, record("failed"));
        QObject::connect(&sockets, &TcpSockets::received,
                         [this](int number, const QByteArray& text) {
                             received.emplace_back(number, text.toStdString());
                         });
    }

    std::ptrdiff_t Count(const std::string& event) const {
        return std::count(events.begin(), events.end(), event);
    }
    [[nodiscard]] bool AwaitEvent(const std::string& event) {
        return QTest::qWaitFor([&] { return Count(event) > 0; }, 10000);
    }

    TcpSockets sockets;
    test::TcpServers net{sockets};
    std::vector<std::string> events;
    std::vector<std::pair<int, std::string>> received;
};

TEST_F(TcpSocketsTest, ReportsEachConnectionWithItsNumber) {
    ASSERT_TRUE(net.ConnectAll());
    EXPECT_THAT(events,
                UnorderedElementsAre("connecting 1", "connecting 2", "connecting 3", "connecting 4",
                                     "connected 1", "connected 2", "connected 3", "connected 4"));

    // The instrument closing a link is a disconnect, not a failure.
    events.clear();
    for (QTcpSocket* peer : net.peers) peer->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return events.size() == 4; }, 10000));
    EXPECT_THAT(events, UnorderedElementsAre("disconnected 1", "disconnected 2", "disconnected 3",
                                             "disconnected 4"));
}

TEST_F(TcpSocketsTest, APortWithoutAServerFails) {
    net.Close(3);
    sockets.Open();
    ASSERT_TRUE(AwaitEvent("failed 3"));
    EXPECT_EQ(Count("connecting 3"), 1);
    EXPECT_EQ(Count("failed 3"), 1);
    EXPECT_EQ(Count("disconnected 3"), 0);  // it never connected
    ASSERT_TRUE(net.AwaitConnection(1));
    EXPECT_EQ(Count("failed 1"), 0);
}

TEST_F(TcpSocketsTest, APeerThatResetsIsAFailureUntilTheNextOpen) {
    sockets.Open();
    ASSERT_TRUE(net.AwaitConnection(1));
    ASSERT_TRUE(AwaitEvent("connected 1"));
    // The instrument's end drops the connection with a reset, not a polite close.
    QTcpSocket* peer = net.peers[0];
    const linger reset{1, 0};
    ::setsockopt(static_cast<int>(peer->socketDescriptor()), SOL_SOCKET, SO_LINGER, &reset,
                 sizeof reset);
    peer->abort();
    net.peers[0] = nullptr;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return sockets.ClientSocket(1).state() == QAbstractSocket::UnconnectedState; },
        10000));
    EXPECT_EQ(Count("failed 1"), 1);
    // Nothing reconnects by itself; the next open does.
    sockets.Open();
    ASSERT_TRUE(net.AwaitConnection(1));
    EXPECT_TRUE(QTest::qWaitFor([&] { return Count("connected 1") == 2; }, 10000));
}

TEST_F(TcpSocketsTest, HandsOnWhatArrivesWithTheSocketsNumber) {
    ASSERT_TRUE(net.ConnectAll());
    net.SendFromPeer(4, "blue");
    ASSERT_TRUE(QTest::qWaitFor([&] { return received.size() == 1; }, 10000));
    net.SendFromPeer(1, std::string(2500, 'x'));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            std::size_t total = 0;
            for (const auto& [number, text] : received) total += number == 1 ? text.size() : 0;
            return total == 2500;
        },
        10000));
    EXPECT_EQ(received.front(), (std::pair<int, std::string>{4, "blue"}));
}

TEST_F(TcpSocketsTest, OpenLeavesConnectedSocketsAlone) {
    ASSERT_TRUE(net.ConnectAll());
    events.clear();
    sockets.Open();
    for (int n = 1; n <= 4; ++n) {
        EXPECT_EQ(sockets.ClientSocket(n).state(), QAbstractSocket::ConnectedState);
    }
    EXPECT_THAT(events, IsEmpty());
}

TEST(TcpSocketsDisabled, NothingConnectsWithoutAHost) {
    TcpSockets sockets;
    bool anyEvent = false;
    QObject::connect(&sockets, &TcpSockets::connecting, [&] { anyEvent = true; });
    EXPECT_FALSE(sockets.Enabled());
    EXPECT_EQ(sockets.Ports(), TcpSockets::kDefaultPorts);
    sockets.Open();
    for (int n = 1; n <= 4; ++n) {
        EXPECT_EQ(sockets.ClientSocket(n).state(), QAbstractSocket::UnconnectedState);
        EXPECT_FALSE(sockets.SendText(n, "<V>"));
    }
    EXPECT_FALSE(anyEvent);
}

}  // namespace
}  // namespace noxa
