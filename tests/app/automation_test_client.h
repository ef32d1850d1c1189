#pragma once

#include "app/automation_service.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QTest>
#include <QVariant>

#include <ostream>
#include <utility>

// Readable failure messages for Qt's texts and values.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QVariant& value, std::ostream* out) {
    *out << value.typeName() << ' ' << value.toString().toStdString();
}

namespace noxa::test {

// A client of the automation service on a bus connection of its own, so that it has its own
// unique name, as another program would. Calls wait for their answers while the event loop
// runs, since the service answers on this same thread.
class AutomationClient {
public:
    // A client on the session bus.
    explicit AutomationClient(QString name)
        : name_(std::move(name)),
          bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, name_)) {
        qDBusRegisterMetaType<QMap<QString, QString>>();
    }
    // A client on the bus at `address`.
    AutomationClient(QString name, const QString& address)
        : name_(std::move(name)), bus_(QDBusConnection::connectToBus(address, name_)) {
        qDBusRegisterMetaType<QMap<QString, QString>>();
    }
    ~AutomationClient() { Disconnect(); }
    AutomationClient(const AutomationClient&) = delete;
    AutomationClient& operator=(const AutomationClient&) = delete;

    bool Connected() const { return bus_.isConnected(); }
    QString UniqueName() const { return bus_.baseService(); }
    QDBusConnection& Bus() { return bus_; }

    // Leaves the bus.
    void Disconnect() {
        if (name_.isEmpty()) return;
        bus_ = QDBusConnection(QString());
        QDBusConnection::disconnectFromBus(name_);
        name_.clear();
    }

    // Sends a call and waits for its answer (an error message when none came).
    QDBusMessage Call(const QDBusMessage& message, int timeoutMs = 20000) {
        QDBusPendingCall pending = bus_.asyncCall(message, timeoutMs);
        if (!QTest::qWaitFor([&] { return pending.isFinished(); }, timeoutMs + 5000)) {
            return message.createErrorReply(QDBusError::Timeout, "no answer");
        }
        return pending.reply();
    }

    // A method of the interface Test.IDedazaduz.
    QDBusMessage CallMethod(const QString& member, const QVariantList& arguments = {},
                            const QString& interface = kAutomationInterface) {
        QDBusMessage message = QDBusMessage::createMethodCall(
            kAutomationBusName, kAutomationObjectPath, interface, member);
        message.setArguments(arguments);
        return Call(message);
    }

    QDBusMessage GetProperty(const QString& name, const QString& interface = kAutomationInterface) {
        return CallMethod("Get", {interface, name}, "org.freedesktop.DBus.Properties");
    }

    // A property's value; an invalid QVariant when the read failed.
    QVariant Property(const QString& name) {
        const QDBusMessage reply = GetProperty(name);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1) {
            return {};
        }
        return reply.arguments().constFirst().value<QDBusVariant>().variant();
    }

private:
    QString name_;
    QDBusConnection bus_;
};

}  // namespace noxa::test
