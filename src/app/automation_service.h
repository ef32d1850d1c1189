#pragma once

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QDBusVirtualObject>
#include <QMap>
#include <QSet>
#include <QString>

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace noxa {

class FormModel;
class SerialStreamParser;

// The station's identity on the session bus.
inline constexpr char kAutomationBusName[] = "Test.Dedazaduz";
inline constexpr char kAutomationObjectPath[] = "/Dedazaduz";
inline constexpr char kAutomationInterface[] = "Test.IDedazaduz";

// The interface's read-only 32-bit properties, in the order other programs have always known
// them: three reserved, the accelerometer, one reserved, the magnetometer, one reserved, the
// link state, six reserved.
std::span<const std::string_view> AutomationPropertyNames();
// A property's value: the leading integer of its label's text (0 for "--"), 1 for LinkOk
// unless the reception indicator is pure red, 0 for the reserved ones. Nothing for a name that
// is no property.
std::optional<std::int32_t> AutomationProperty(const FormModel& form, std::string_view name);

// What Readings() returns: the text of every reading label by component name (the magnitudes
// and frequencies, the temperatures, clouds, NELM, the clock and the instrument constants), and
// "LinkOk" as "1" or "0".
QMap<QString, QString> AutomationReadings(const FormModel& form);

// Hands text from a client to the serial ring as 8-bit text; returns whether the ring took it
// (texts of 200 bytes or more are dropped).
bool PutTextToRing(SerialStreamParser& serialRing, const QString& text);

// The station's automation object on the session bus: the interface Test.IDedazaduz on the
// object /Dedazaduz under the name Test.Dedazaduz, answering the standard introspection and
// properties interfaces too. It reads the form model and feeds the serial ring, on the thread
// that runs the station.
//
// Every call is handled here, property reads included, so that the object knows who called:
// it counts the distinct clients that have called it and are still on the bus. The window warns
// before it closes on them, and a station the bus started ends once the last one has gone.
class AutomationService : public QDBusVirtualObject {
    Q_OBJECT

public:
    // `serialRing` is the serial framing, whose ring PutText feeds.
    AutomationService(FormModel& form, SerialStreamParser& serialRing, QObject* parent = nullptr);
    ~AutomationService() override;

    // Registers the object and takes the bus name on `bus`. On failure (no bus, the name held by
    // another program) returns false with the reason and leaves the bus as it was.
    bool Publish(QDBusConnection bus, QString& error);
    // Gives up the name and the object.
    void Withdraw();
    bool Published() const { return published_; }

    // Clients that have called and are still connected.
    int ClientCount() const { return static_cast<int>(clients_.size()); }

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

signals:
    void clientCountChanged(int count);
    // The count has fallen to 0.
    void lastClientLeft();

private:
    QDBusMessage Dispatch(const QDBusMessage& message);
    QDBusMessage CallInterfaceMethod(const QDBusMessage& message);
    QDBusMessage GetProperty(const QDBusMessage& message) const;
    QDBusMessage GetAllProperties(const QDBusMessage& message) const;
    QDBusMessage SetProperty(const QDBusMessage& message) const;

    void NoteClient(const QString& client);
    void DropClient(const QString& client);

    FormModel& form_;
    SerialStreamParser& serialRing_;
    QDBusConnection bus_;
    bool published_ = false;
    QSet<QString> clients_;
    QDBusServiceWatcher watcher_;
};

}  // namespace noxa
