// The running driver on the session bus: net.example.lumora.Driver1 (the mode, the FIXED colours,
// the keyboard level, what the board was sent) and org.freedesktop.Application on one object.
// Each method takes the path of the same choice in the window, so the window shows it.
#pragma once

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusContext>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <optional>

#include "control/controls.hpp"
#include "link/lamp_link.hpp"

namespace lumora {

class DriverService;

struct ZoneColour {
    uchar red = 0, green = 0, blue = 0;
    friend bool operator==(const ZoneColour&, const ZoneColour&) = default;
};
using ZoneColours = QList<ZoneColour>;
QDBusArgument& operator<<(QDBusArgument& out, const ZoneColour& colour);
const QDBusArgument& operator>>(const QDBusArgument& in, ZoneColour& colour);

class DriverBus : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_PROPERTY(QString Mode READ mode)
    Q_PROPERTY(uchar KeyboardLevel READ keyboardLevel)
    Q_PROPERTY(lumora::ZoneColours Zones READ zones)
    Q_PROPERTY(bool BoardConnected READ boardConnected)
    Q_PROPERTY(QString Port READ port)
public:
    static constexpr const char* kName = "net.example.lumora.Driver"; // the desktop entry's name too
    static constexpr const char* kPath = "/net/example/lumora/Driver";
    static constexpr const char* kInterface = "net.example.lumora.Driver1";

    DriverBus(DriverService& service, Controls& controls, LampLink& link, QObject* parent = nullptr);
    ~DriverBus() override;

    // Puts the object on `bus`, then takes the name. False when another driver holds the name
    // already (the object is taken off again) or the bus refuses.
    bool publish(QDBusConnection bus);

    QString mode() const;
    uchar keyboardLevel() const;
    ZoneColours zones() const;
    bool boardConnected() const;
    QString port() const;

public slots:
    // net.example.lumora.Driver1
    void SetMode(const QString& mode);
    void SetFixedColour(int zone, uchar red, uchar green, uchar blue);
    void SetKeyboardLevel(uchar level);
    // org.freedesktop.Application: each brings the window to the front.
    void Activate(const QVariantMap& platformData);
    void Open(const QStringList& uris, const QVariantMap& platformData);
    void ActivateAction(const QString& action, const QVariantList& parameter, const QVariantMap& platformData);

    // Sends PropertiesChanged for every property that differs from what was last said.
    void publishChanges();

signals:
    void activationRequested();

private:
    QVariantMap properties() const;
    // Refuses a call with InvalidArgs when it came over the bus; returns false then.
    bool refuse(const QString& why);

    DriverService& service_;
    Controls& controls_;
    LampLink& link_;
    std::optional<QDBusConnection> bus_;
    QVariantMap published_;
};

} // namespace lumora

Q_DECLARE_METATYPE(lumora::ZoneColour)
