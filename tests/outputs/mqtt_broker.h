#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <mutex>
#include <string>
#include <utility>
#include <vector>

struct mosquitto;

namespace noxa::test {

// A mosquitto broker of the test's own, listening on a free port of 127.0.0.1, started at once
// unless told otherwise. `extraConfig` replaces "allow_anonymous true" in its configuration
// file, with "{dir}" standing for Dir().
class TestBroker {
public:
    explicit TestBroker(const QString& extraConfig = {}, bool start = true);
    ~TestBroker();

    // (Re)starts it on the same port; true once it accepts connections.
    bool Start();
    void Stop();
    quint16 Port() const { return port_; }
    QString Dir() const { return dir_.path(); }
    // What the broker logged so far.
    QString Log() const;
    // "127.0.0.1:<port>", as the station's option takes it and its log says it.
    QString Address() const;

private:
    QTemporaryDir dir_;
    quint16 port_ = 0;
    QProcess process_;
};

// A client subscribed to every topic, collecting what arrives on a thread of its own; it
// reconnects when the broker comes back. With a client id its session is kept by the broker
// (clean session off), so what is published while it is away waits for it.
class TestSubscriber {
public:
    explicit TestSubscriber(quint16 port, const std::string& clientId = {});
    ~TestSubscriber();

    // Waits, running the test's event loop, for a message on `topic` (with `payload`, unless
    // empty) that arrived after the last Clear(); returns its payload or an empty array.
    QByteArray WaitFor(const std::string& topic, const QByteArray& payload = {},
                       int timeoutMs = 10000);
    std::vector<std::pair<std::string, QByteArray>> Messages();
    void Clear();
    // Publishes with QoS 1.
    void Publish(const std::string& topic, const QByteArray& payload, bool retain);
    // Waits, running the test's event loop, until the broker took its subscription.
    bool WaitForSubscription(int timeoutMs = 10000);

private:
    static void OnConnect(mosquitto* mosq, void* self, int rc);
    bool Subscribed();

    mosquitto* mosq_ = nullptr;
    std::mutex mutex_;
    std::vector<std::pair<std::string, QByteArray>> messages_;
    int subscriptions_ = 0;  // under `mutex_`: subscriptions the broker took
};

}  // namespace noxa::test
