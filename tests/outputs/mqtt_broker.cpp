#include "mqtt_broker.h"

#include <mosquitto.h>

#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <pwd.h>
#include <unistd.h>

namespace noxa::test {

TestBroker::TestBroker(const QString& extraConfig, bool start) {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    port_ = probe.serverPort();
    probe.close();
    QFile config(dir_.filePath("mosquitto.conf"));
    config.open(QIODevice::WriteOnly);
    // Started as root, the broker would otherwise turn into the user "mosquitto", who may not
    // read the test's folder.
    const passwd* user = ::getpwuid(::getuid());
    QString text = QStringLiteral(
                       "listener %1 127.0.0.1\npersistence false\nuser %2\n"
                       "log_dest file {dir}/broker.log\n%3\n")
                       .arg(port_)
                       .arg(user ? user->pw_name : "root")
                       .arg(extraConfig.isEmpty() ? "allow_anonymous true" : extraConfig);
    config.write(text.replace("{dir}", dir_.path()).toUtf8());
    config.close();
    if (start) Start();
}

TestBroker::~TestBroker() {
    Stop();
}

QString TestBroker::Address() const {
    return QStringLiteral("127.0.0.1:%1").arg(port_);
}

QString TestBroker::Log() const {
    QFile log(dir_.filePath("broker.log"));
    return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
}

bool TestBroker::Start() {
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.setStandardOutputFile(QProcess::nullDevice());
    process_.start("/usr/sbin/mosquitto", {"-c", dir_.filePath("mosquitto.conf")});
    if (!process_.waitForStarted(5000)) return false;
    return QTest::qWaitFor(
        [&] {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, port_);
            return socket.waitForConnected(200);
        },
        5000);
}

void TestBroker::Stop() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.terminate();
    if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

TestSubscriber::TestSubscriber(quint16 port, const std::string& clientId) {
    mosquitto_lib_init();
    mosq_ = mosquitto_new(clientId.empty() ? nullptr : clientId.c_str(), clientId.empty(), this);
    mosquitto_connect_callback_set(mosq_, &TestSubscriber::OnConnect);
    mosquitto_subscribe_callback_set(mosq_, [](mosquitto*, void* self, int, int, const int*) {
        auto* subscriber = static_cast<TestSubscriber*>(self);
        std::lock_guard lock(subscriber->mutex_);
        ++subscriber->subscriptions_;
    });
    mosquitto_message_callback_set(
        mosq_, [](mosquitto*, void* self, const mosquitto_message* message) {
            auto* subscriber = static_cast<TestSubscriber*>(self);
            std::lock_guard lock(subscriber->mutex_);
            subscriber->messages_.emplace_back(
                message->topic,
                QByteArray(static_cast<const char*>(message->payload), message->payloadlen));
        });
    mosquitto_reconnect_delay_set(mosq_, 1, 1, false);
    mosquitto_connect(mosq_, "127.0.0.1", port, 30);
    mosquitto_loop_start(mosq_);
}

TestSubscriber::~TestSubscriber() {
    mosquitto_disconnect(mosq_);
    mosquitto_loop_stop(mosq_, false);
    mosquitto_destroy(mosq_);
}

void TestSubscriber::OnConnect(mosquitto* mosq, void*, int rc) {
    if (rc == 0) mosquitto_subscribe(mosq, nullptr, "#", 1);
}

QByteArray TestSubscriber::WaitFor(const std::string& topic, const QByteArray& payload,
                                   int timeoutMs) {
    QByteArray found;
    (void)QTest::qWaitFor(
        [&] {
            for (const auto& [t, p] : Messages()) {
                if (t == topic && (payload.isEmpty() || p == payload)) found = p;
            }
            return !found.isEmpty();
        },
        timeoutMs);
    return found;
}

std::vector<std::pair<std::string, QByteArray>> TestSubscriber::Messages() {
    std::lock_guard lock(mutex_);
    return messages_;
}

void TestSubscriber::Publish(const std::string& topic, const QByteArray& payload, bool retain) {
    mosquitto_publish(mosq_, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                      payload.constData(), 1, retain);
}

bool TestSubscriber::Subscribed() {
    std::lock_guard lock(mutex_);
    return subscriptions_ > 0;
}

bool TestSubscriber::WaitForSubscription(int timeoutMs) {
    return QTest::qWaitFor([this] { return Subscribed(); }, timeoutMs);
}

void TestSubscriber::Clear() {
    std::lock_guard lock(mutex_);
    messages_.clear();
}

}  // namespace noxa::test
