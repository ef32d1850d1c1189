#include "app/automation_service.h"

#include "core/c_numbers.h"
#include "core/form_model.h"
#include "links/serial_stream_parser.h"

#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

#include <array>

namespace noxa {
namespace {

constexpr std::array<std::string_view, 18> kPropertyNames = {
    "Reserved1", "Reserved2", "Reserved3", "AccelX",    "AccelY",     "AccelZ",
    "Reserved4", "MagX",      "MagY",      "MagZ",      "Reserved5",  "LinkOk",
    "Reserved6", "Reserved7", "Reserved8", "Reserved9", "Reserved10", "Reserved11"};

// The methods that take one argument, in their order on the interface; all but PutText leave
// it alone.
constexpr std::array<std::string_view, 7> kMethodsWithOneArgument = {
    "Reserved12", "PutText", "Reserved13", "Reserved14", "Reserved15", "Reserved16", "Reserved17"};

constexpr std::array<FormText, 21> kReadingLabels = {
    FormText::Lmv,        FormText::LHz,   FormText::Lmv2,      FormText::LHz2,
    FormText::LmvR,       FormText::LHzR,  FormText::LmvG,      FormText::LHzG,
    FormText::LmvB,       FormText::LHzB,  FormText::Ltir,      FormText::Ltsensor,
    FormText::LClouds,    FormText::Lnelm, FormText::LDiaJ2000, FormText::LHoraSideral,
    FormText::LHoraLocal, FormText::LCI1,  FormText::LCI2,      FormText::LCI3,
    FormText::LCI4};

constexpr char kPropertiesInterface[] = "org.freedesktop.DBus.Properties";
constexpr char kIntrospectableInterface[] = "org.freedesktop.DBus.Introspectable";
constexpr char kPeerInterface[] = "org.freedesktop.DBus.Peer";

// The label whose leading integer a property reports.
std::optional<FormText> PropertyLabel(std::string_view name) {
    if (name == "AccelX") return FormText::LaX;
    if (name == "AccelY") return FormText::LaY;
    if (name == "AccelZ") return FormText::LaZ;
    if (name == "MagX") return FormText::LmX;
    if (name == "MagY") return FormText::LmY;
    if (name == "MagZ") return FormText::LmZ;
    return std::nullopt;
}

bool LinkOk(const FormModel& form) {
    return form.RxColour() != kIndicatorRed;
}

QString ToQString(std::string_view text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

QString InterfaceXml() {
    // The values change all the time and no signal tells: clients read them when they need them.
    QString xml = QStringLiteral(
                      "  <interface name=\"%1\">\n"
                      "    <annotation name=\"org.freedesktop.DBus.Property.EmitsChangedSignal\" "
                      "value=\"false\"/>\n")
                      .arg(kAutomationInterface);
    for (const std::string_view name : kPropertyNames) {
        xml += QStringLiteral("    <property name=\"%1\" type=\"i\" access=\"read\"/>\n")
                   .arg(ToQString(name));
    }
    for (const std::string_view name : kMethodsWithOneArgument) {
        const bool putText = name == "PutText";
        xml += QStringLiteral(
                   "    <method name=\"%1\">\n"
                   "      <arg name=\"%2\" type=\"%3\" direction=\"in\"/>\n"
                   "    </method>\n")
                   .arg(ToQString(name), putText ? "text" : "value", putText ? "s" : "i");
    }
    xml += QStringLiteral(
        "    <method name=\"Readings\">\n"
        "      <arg name=\"readings\" type=\"a{ss}\" direction=\"out\"/>\n"
        "      <annotation name=\"org.qtproject.QtDBus.QtTypeName.Out0\" "
        "value=\"QMap&lt;QString,QString&gt;\"/>\n"
        "    </method>\n"
        "  </interface>\n");
    return xml;
}

QDBusMessage InvalidArguments(const QDBusMessage& message, const QString& expected) {
    return message.createErrorReply(QDBusError::InvalidArgs,
                                    QStringLiteral("%1 takes %2, not \"%3\"")
                                        .arg(message.member(), expected, message.signature()));
}

}  // namespace

std::span<const std::string_view> AutomationPropertyNames() {
    return kPropertyNames;
}

std::optional<std::int32_t> AutomationProperty(const FormModel& form, std::string_view name) {
    if (name == "LinkOk") return LinkOk(form) ? 1 : 0;
    if (const auto label = PropertyLabel(name)) return CAtoi32(form.Text(*label));
    for (const std::string_view property : kPropertyNames) {
        if (property == name) return 0;
    }
    return std::nullopt;
}

QMap<QString, QString> AutomationReadings(const FormModel& form) {
    QMap<QString, QString> readings;
    for (const FormText label : kReadingLabels) {
        readings.insert(ToQString(ComponentName(label)), ToQString(form.Text(label)));
    }
    readings.insert("LinkOk", LinkOk(form) ? "1" : "0");
    return readings;
}

bool PutTextToRing(SerialStreamParser& serialRing, const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    return serialRing.FeedRingText(std::string_view(bytes.constData(), bytes.size()));
}

AutomationService::AutomationService(FormModel& form, SerialStreamParser& serialRing,
                                     QObject* parent)
    : QDBusVirtualObject(parent), form_(form), serialRing_(serialRing), bus_(QString()) {
    qDBusRegisterMetaType<QMap<QString, QString>>();
    watcher_.setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    connect(&watcher_, &QDBusServiceWatcher::serviceUnregistered, this,
            &AutomationService::DropClient);
}

AutomationService::~AutomationService() {
    Withdraw();
}

bool AutomationService::Publish(QDBusConnection bus, QString& error) {
    if (!bus.isConnected()) {
        error = "no session bus";
        return false;
    }
    if (!bus.registerVirtualObject(kAutomationObjectPath, this)) {
        error = QStringLiteral("the object %1 is taken").arg(kAutomationObjectPath);
        return false;
    }
    if (!bus.registerService(kAutomationBusName)) {
        bus.unregisterObject(kAutomationObjectPath);
        error = QStringLiteral("the name %1 is held by another program").arg(kAutomationBusName);
        return false;
    }
    bus_ = bus;
    watcher_.setConnection(bus_);
    published_ = true;
    return true;
}

void AutomationService::Withdraw() {
    if (!published_) return;
    published_ = false;
    bus_.unregisterService(kAutomationBusName);
    bus_.unregisterObject(kAutomationObjectPath);
    watcher_.setWatchedServices({});
    clients_.clear();
}

QString AutomationService::introspect(const QString& /*path*/) const {
    return InterfaceXml();
}

bool AutomationService::handleMessage(const QDBusMessage& message,
                                      const QDBusConnection& connection) {
    if (message.type() != QDBusMessage::MethodCallMessage) return false;
    NoteClient(message.service());
    // The bus library answers introspection from introspect(), with the standard interfaces.
    if (message.interface() == kIntrospectableInterface || message.interface() == kPeerInterface) {
        return false;
    }
    const QDBusMessage reply = Dispatch(message);
    if (message.isReplyRequired()) connection.send(reply);
    return true;
}

QDBusMessage AutomationService::Dispatch(const QDBusMessage& message) {
    const QString interface = message.interface();
    if (interface == kPropertiesInterface) {
        if (message.member() == "Get") return GetProperty(message);
        if (message.member() == "GetAll") return GetAllProperties(message);
        if (message.member() == "Set") return SetProperty(message);
    } else if (interface.isEmpty() || interface == kAutomationInterface) {
        return CallInterfaceMethod(message);
    } else {
        return message.createErrorReply(QDBusError::UnknownInterface,
                                        "No such interface: " + interface);
    }
    return message.createErrorReply(QDBusError::UnknownMethod,
                                    "No such method: " + interface + "." + message.member());
}

QDBusMessage AutomationService::CallInterfaceMethod(const QDBusMessage& message) {
    const QString member = message.member();
    if (member == "Readings") {
        if (!message.arguments().isEmpty()) return InvalidArguments(message, "no arguments");
        return message.createReply(QVariant::fromValue(AutomationReadings(form_)));
    }
    if (member == "PutText") {
        if (message.signature() != "s") return InvalidArguments(message, "one text (\"s\")");
        PutTextToRing(serialRing_, message.arguments().constFirst().toString());
        return message.createReply();
    }
    for (const std::string_view name : kMethodsWithOneArgument) {
        if (member == ToQString(name)) {
            // Any one argument is taken and left alone.
            if (message.arguments().size() != 1) return InvalidArguments(message, "one argument");
            return message.createReply();
        }
    }
    return message.createErrorReply(
        QDBusError::UnknownMethod,
        QStringLiteral("No such method: %1.%2").arg(kAutomationInterface, member));
}

QDBusMessage AutomationService::GetProperty(const QDBusMessage& message) const {
    if (message.signature() != "ss") return InvalidArguments(message, "\"ss\"");
    const QString interface = message.arguments().at(0).toString();
    const QString name = message.arguments().at(1).toString();
    const auto value = (interface.isEmpty() || interface == kAutomationInterface)
                           ? AutomationProperty(form_, name.toStdString())
                           : std::nullopt;
    if (!value) {
        return message.createErrorReply(QDBusError::UnknownProperty,
                                        "No such property: " + interface + "." + name);
    }
    return message.createReply(QVariant::fromValue(QDBusVariant(QVariant::fromValue(*value))));
}

QDBusMessage AutomationService::GetAllProperties(const QDBusMessage& message) const {
    if (message.signature() != "s") return InvalidArguments(message, "\"s\"");
    const QString interface = message.arguments().at(0).toString();
    QVariantMap values;
    if (interface.isEmpty() || interface == kAutomationInterface) {
        for (const std::string_view name : kPropertyNames) {
            values.insert(ToQString(name), QVariant::fromValue(*AutomationProperty(form_, name)));
        }
    } else if (interface != kPropertiesInterface && interface != kIntrospectableInterface &&
               interface != kPeerInterface) {
        return message.createErrorReply(QDBusError::UnknownInterface,
                                        "No such interface: " + interface);
    }
    return message.createReply(QVariant::fromValue(values));
}

QDBusMessage AutomationService::SetProperty(const QDBusMessage& message) const {
    if (message.signature() != "ssv") return InvalidArguments(message, "\"ssv\"");
    const QString interface = message.arguments().at(0).toString();
    const QString name = message.arguments().at(1).toString();
    if ((interface.isEmpty() || interface == kAutomationInterface) &&
        AutomationProperty(form_, name.toStdString())) {
        return message.createErrorReply(QDBusError::PropertyReadOnly,
                                        "Property " + name + " is read-only");
    }
    return message.createErrorReply(QDBusError::UnknownProperty,
                                    "No such property: " + interface + "." + name);
}

void AutomationService::NoteClient(const QString& client) {
    // A call from this very connection is no client of its own.
    if (client.isEmpty() || client == bus_.baseService() || clients_.contains(client)) return;
    clients_.insert(client);
    watcher_.addWatchedService(client);
    emit clientCountChanged(ClientCount());

    // The client may have gone before the watch was in place; the bus answers in order, so
    // a name that still has an owner now is watched from here on.
    auto* check = new QDBusPendingCallWatcher(
        bus_.interface()->asyncCall(QStringLiteral("NameHasOwner"), client), this);
    connect(check, &QDBusPendingCallWatcher::finished, this,
            [this, client](QDBusPendingCallWatcher* call) {
                const QDBusPendingReply<bool> reply = *call;
                if (reply.isValid() && !reply.value()) DropClient(client);
                call->deleteLater();
            });
}

void AutomationService::DropClient(const QString& client) {
    if (!clients_.remove(client)) return;
    watcher_.removeWatchedService(client);
    emit clientCountChanged(ClientCount());
    if (clients_.isEmpty()) emit lastClientLeft();
}

}  // namespace noxa
