#include "service/driver_bus.hpp"

#include <QDBusError>
#include <QDBusMessage>
#include <QDBusMetaType>

#include "application_adaptor.h"
#include "driver1_adaptor.h"
#include "control/mode_names.hpp"
#include "service/driver_service.hpp"

namespace lumora {

QDBusArgument& operator<<(QDBusArgument& out, const ZoneColour& colour)
{
    out.beginStructure();
    out << colour.red << colour.green << colour.blue;
    out.endStructure();
    return out;
}

const QDBusArgument& operator>>(const QDBusArgument& in, ZoneColour& colour)
{
    in.beginStructure();
    in >> colour.red >> colour.green >> colour.blue;
    in.endStructure();
    return in;
}

DriverBus::DriverBus(DriverService& service, Controls& controls, LampLink& link, QObject* parent)
    : QObject(parent), service_(service), controls_(controls), link_(link)
{
    qDBusRegisterMetaType<ZoneColour>();
    qDBusRegisterMetaType<ZoneColours>();
    new Driver1Adaptor(this);
    new ApplicationAdaptor(this);
    // What the properties say moves with the ticks: it is told twice a second at the most.
    connect(&service_, &DriverService::statusShown, this, &DriverBus::publishChanges);
}

DriverBus::~DriverBus()
{
    if (bus_) {
        bus_->unregisterService(kName);
        bus_->unregisterObject(kPath);
    }
}

bool DriverBus::publish(QDBusConnection bus)
{
    if (!bus.isConnected() || !bus.registerObject(kPath, this))
        return false;
    if (!bus.registerService(kName)) {
        bus.unregisterObject(kPath);
        return false;
    }
    bus_ = bus;
    published_ = properties();
    return true;
}

QVariantMap DriverBus::properties() const
{
    return {{"Mode", mode()}, {"KeyboardLevel", QVariant::fromValue(keyboardLevel())}, {"Zones", QVariant::fromValue(zones())},
            {"BoardConnected", boardConnected()}, {"Port", port()}};
}

QString DriverBus::mode() const
{
    const std::string_view name = modeName(service_.controller().state().Mode);
    return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

uchar DriverBus::keyboardLevel() const { return static_cast<uchar>(controls_.slW()); }

ZoneColours DriverBus::zones() const
{
    ZoneColours colours;
    for (const auto& [red, green, blue] : link_.lastZones())
        colours.append({red, green, blue});
    return colours;
}

bool DriverBus::boardConnected() const { return link_.connected(); }

QString DriverBus::port() const { return QString::fromStdString(link_.port()); }

bool DriverBus::refuse(const QString& why)
{
    // Qt serves an adaptor's call with its parent as the context: this object.
    if (calledFromDBus())
        sendErrorReply(QDBusError::InvalidArgs, why);
    return false;
}

void DriverBus::SetMode(const QString& mode)
{
    const std::optional<int> chosen = modeNamed(mode.toStdString());
    if (!chosen) {
        refuse("unknown mode '" + mode + "': the modes are off, fixed, rnd and auto");
        return;
    }
    service_.controller().choose(*chosen);
    publishChanges();
}

void DriverBus::SetFixedColour(int zone, uchar red, uchar green, uchar blue)
{
    if (zone < 0 || zone > 3) {
        refuse(QString("no zone %1: the zones are 0 (left), 1 (top), 2 (right), or 3 for all three").arg(zone));
        return;
    }
    // As the sliders moved by hand: the master's own handler carries it into the zones' sliders.
    controls_.setColourSlider(Channel::Red, zone, red);
    controls_.setColourSlider(Channel::Green, zone, green);
    controls_.setColourSlider(Channel::Blue, zone, blue);
    publishChanges();
}

void DriverBus::SetKeyboardLevel(uchar level)
{
    controls_.setSlW(level);
    publishChanges();
}

void DriverBus::Activate(const QVariantMap&) { emit activationRequested(); }

void DriverBus::Open(const QStringList&, const QVariantMap&) { emit activationRequested(); }

void DriverBus::ActivateAction(const QString& action, const QVariantList&, const QVariantMap&)
{
    // The driver's actions are its modes, by the names SetMode takes.
    if (!modeNamed(action.toStdString())) {
        refuse("no action '" + action + "': the actions are off, fixed, rnd and auto");
        return;
    }
    SetMode(action);
}

void DriverBus::publishChanges()
{
    if (!bus_)
        return;
    const QVariantMap now = properties();
    QVariantMap changed;
    for (auto it = now.begin(); it != now.end(); ++it)
        if (published_.value(it.key()) != it.value())
            changed.insert(it.key(), it.value());
    if (changed.isEmpty())
        return;
    published_ = now;
    QDBusMessage signal = QDBusMessage::createSignal(kPath, "org.freedesktop.DBus.Properties", "PropertiesChanged");
    signal << QString(kInterface) << changed << QStringList();
    bus_->send(signal);
}

} // namespace lumora
