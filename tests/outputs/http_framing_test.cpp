// The web server's framing of requests as RFC 9112 says, seen from a plain TCP client: raw
// bytes go in, and what comes back is the status line of each answer, and whether the
// connection stays open for the next request.
#include "core/day_tables.h"
#include "core/observation_feed.h"
#include "outputs/common/latest_readings.h"
#include "outputs/common/safety_rule.h"
#include "outputs/common/station_status.h"
#include "outputs/web/web_server.h"
#include "support/temp_dir.h"
#include "time/station_clock.h"

#include <QTcpSocket>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <sys/socket.h>

namespace noxa {
namespace {

struct FramingCase {
    const char* name;
    QByteArray request;
    std::vector<int> statuses;  // of the answers, in order
    bool staysOpen;
    bool halfClose = false;  // the client closes its sending side after the request
};

void PrintTo(const FramingCase& c, std::ostream* out) {
    *out << c.name;
}

// Qt's warnings while the server works: a correct server writes none.
std::vector<std::string>* warnings = nullptr;

void Collect(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type != QtDebugMsg && type != QtInfoMsg && warnings != nullptr)
        warnings->push_back(text.toStdString());
}

class HttpFramingTest : public ::testing::TestWithParam<FramingCase> {
protected:
    HttpFramingTest() {
        warnings = &seen;
        previous = qInstallMessageHandler(Collect);
        server =
            std::make_unique<WebServer>(StationView{readings, safety, status}, days, work.Dir());
        QString error;
        EXPECT_TRUE(server->Listen(QHostAddress::LocalHost, 0, error)) << error.toStdString();
    }
    ~HttpFramingTest() override {
        qInstallMessageHandler(previous);
        warnings = nullptr;
    }

    // Reads whole answers (status line, headers, a body of Content-Length bytes) until
    // `count` are in or the server closes; returns their status codes.
    std::vector<int> Answers(QTcpSocket& socket, size_t count) {
        std::vector<int> statuses;
        QByteArray data;
        std::ignore = QTest::qWaitFor(
            [&] {
                data += socket.readAll();
                for (qsizetype end; (end = data.indexOf("\r\n\r\n")) >= 0;) {
                    const QByteArray head = data.left(end);
                    const qsizetype at = head.indexOf("Content-Length: ");
                    const qint64 length = at < 0 ? 0 : head.mid(at + 16).split('\r')[0].toLong();
                    if (data.size() < end + 4 + length) break;
                    statuses.push_back(head.mid(9, 3).toInt());
                    data.remove(0, end + 4 + length);
                }
                return statuses.size() >= count ||
                       socket.state() == QAbstractSocket::UnconnectedState;
            },
            3000);
        return statuses;
    }

    ManualClock clock{QDateTime(QDate(2026, 3, 1), QTime(22, 30), Qt::UTC)};
    ObservationFeed feed;
    StationStatus status{feed, clock};
    LatestReadings readings{feed, clock};
    SafetyRule safety{readings, SafetyLimits{}, Log{}};
    DayTables days;
    test::ScopedWorkDir work;
    std::unique_ptr<WebServer> server;
    std::vector<std::string> seen;
    QtMessageHandler previous = nullptr;
};

TEST_P(HttpFramingTest, AnswersAndKeepsOrClosesTheConnection) {
    const FramingCase& c = GetParam();
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, server->Port());
    ASSERT_TRUE(QTest::qWaitFor([&] { return socket.state() == QTcpSocket::ConnectedState; }));
    socket.write(c.request);
    ASSERT_TRUE(socket.waitForBytesWritten(1000));
    if (c.halfClose) ::shutdown(static_cast<int>(socket.socketDescriptor()), SHUT_WR);

    EXPECT_EQ(Answers(socket, c.statuses.size()), c.statuses);
    if (c.staysOpen) {
        socket.write("GET /api/readings HTTP/1.1\r\nHost: x\r\n\r\n");
        EXPECT_EQ(Answers(socket, 1), std::vector<int>{200}) << "a further request";
    } else {
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                socket.readAll();
                return socket.state() == QAbstractSocket::UnconnectedState;
            },
            3000))
            << "the server closes the connection";
        EXPECT_TRUE(socket.readAll().isEmpty()) << "nothing after the answers";
    }
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return server->OpenConnections() == (c.staysOpen ? 1 : 0); }));
    EXPECT_TRUE(seen.empty()) << seen.front();
}

const QByteArray kGet = "GET /api/readings HTTP/1.1\r\nHost: x\r\n\r\n";

INSTANTIATE_TEST_SUITE_P(
    Rfc9112, HttpFramingTest,
    ::testing::Values(
        FramingCase{"Http11KeepsTheConnection", kGet, {200}, true},
        FramingCase{
            "Http10ClosesAfterTheAnswer", "GET /api/readings HTTP/1.0\r\n\r\n", {200}, false},
        FramingCase{"Http10KeepAliveKeepsIt",
                    "GET /api/readings HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n",
                    {200},
                    true},
        FramingCase{"Http11CloseClosesIt",
                    "GET /api/readings HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n",
                    {200},
                    false},
        FramingCase{"PipelinedRequestsAnsweredInOrder",
                    kGet + "GET /nothing HTTP/1.1\r\nHost: x\r\n\r\n" + kGet,
                    {200, 404, 200},
                    true},
        FramingCase{"EmptyLinesBeforeARequestAndBareLineFeeds",
                    "\r\n\nGET /api/readings HTTP/1.1\nHost: x\n\n",
                    {200},
                    true},
        FramingCase{"ChunkedBodyDecodedThenTheNextRequest",
                    "POST /api/readings HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n"
                    "5;note=x\r\nhello\r\n0\r\nX-Trailer: y\r\n\r\n" +
                        kGet,
                    {405, 200},
                    true},
        FramingCase{"ChunkedWithContentLengthSmugglesNothing",
                    "POST /api/readings HTTP/1.1\r\nHost: x\r\nContent-Length: 4\r\n"
                    "Transfer-Encoding: chunked\r\n\r\n0\r\n\r\n" +
                        kGet,
                    {400},
                    false},
        FramingCase{"DifferingContentLengths",
                    "POST /api/readings HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\n"
                    "Content-Length: 30\r\n\r\nabc" +
                        kGet,
                    {400},
                    false},
        FramingCase{"RepeatedEqualContentLength",
                    "POST /api/readings HTTP/1.1\r\nHost: x\r\nContent-Length: 3, 3\r\n\r\nabc",
                    {405},
                    true},
        FramingCase{"ContentLengthNotANumber",
                    "POST /api/readings HTTP/1.1\r\nHost: x\r\nContent-Length: +3\r\n\r\nabc",
                    {400},
                    false},
        FramingCase{"ChunkedNotLast",
                    "POST /api/readings HTTP/1.1\r\nHost: x\r\n"
                    "Transfer-Encoding: chunked, identity\r\n\r\n0\r\n\r\n",
                    {400},
                    false},
        FramingCase{"UnknownCodingBeforeChunked",
                    "POST /api/readings HTTP/1.1\r\nHost: x\r\n"
                    "Transfer-Encoding: gzip, chunked\r\n\r\n0\r\n\r\n",
                    {501},
                    false},
        FramingCase{"ChunkedFromAnHttp10Client",
                    "POST /api/readings HTTP/1.0\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n",
                    {400},
                    false},
        FramingCase{"BadChunkSize",
                    "POST /api/readings HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n"
                    "zz\r\n",
                    {400},
                    false},
        FramingCase{"SpaceBeforeTheColon", "GET / HTTP/1.1\r\nHost : x\r\n\r\n", {400}, false},
        FramingCase{
            "FoldedHeaderLine", "GET / HTTP/1.1\r\nHost: x\r\nX-A: 1\r\n  2\r\n\r\n", {400}, false},
        FramingCase{
            "BareCarriageReturn", "GET / HTTP/1.1\r\nHost: x\rX-A: 1\r\n\r\n", {400}, false},
        FramingCase{"Http11WithoutHost", "GET / HTTP/1.1\r\n\r\n", {400}, false},
        FramingCase{"TwoHosts", "GET / HTTP/1.1\r\nHost: x\r\nHost: y\r\n\r\n", {400}, false},
        FramingCase{"NoRequestLine", "HELLO\r\n\r\n", {400}, false},
        FramingCase{"TargetNeitherPathNorUri", "GET api HTTP/1.1\r\nHost: x\r\n\r\n", {400}, false},
        FramingCase{"AbsoluteUriTarget",
                    "GET http://x/api/readings HTTP/1.1\r\nHost: x\r\n\r\n",
                    {200},
                    true},
        FramingCase{"UnknownMethod", "BREW /pot HTTP/1.1\r\nHost: x\r\n\r\n", {501}, false},
        FramingCase{"ConnectIsNotForThisServer",
                    "CONNECT example.org:443 HTTP/1.1\r\nHost: example.org:443\r\n\r\n",
                    {501},
                    false},
        FramingCase{"Http2RequestLine", "GET / HTTP/2.0\r\nHost: x\r\n\r\n", {505}, false},
        FramingCase{"HeadersTooLarge",
                    "GET / HTTP/1.1\r\nHost: x\r\nX-Fill: " + QByteArray(20000, 'a') + "\r\n\r\n",
                    {431},
                    false},
        FramingCase{"BodyTooLarge",
                    "PUT /api/readings HTTP/1.1\r\nHost: x\r\nContent-Length: 99999\r\n\r\n",
                    {413},
                    false},
        FramingCase{"UpgradeDeclinedWithOneAnswer",
                    "GET / HTTP/1.1\r\nHost: x\r\nConnection: Upgrade\r\nUpgrade: websocket\r\n"
                    "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                    "Sec-WebSocket-Version: 13\r\n\r\n",
                    {200},
                    true},
        FramingCase{"HalfCloseAfterTheRequestStillAnswered", kGet, {200}, false, true},
        FramingCase{
            "HalfCloseAfterPipelinedRequests", kGet + kGet + kGet, {200, 200, 200}, false, true},
        FramingCase{"HalfCloseAfterMoreRequestsThanATurnTakes", kGet.repeated(10),
                    std::vector<int>(10, 200), false, true}),
    [](const ::testing::TestParamInfo<FramingCase>& info) { return info.param.name; });

}  // namespace
}  // namespace noxa
