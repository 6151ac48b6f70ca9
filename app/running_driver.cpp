#include "running_driver.hpp"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QVariantMap>

#include <iostream>

#include "control/mode_names.hpp"
#include "platform/desktop/autostart_entry.hpp"
#include "service/driver_bus.hpp"

namespace lumora {

namespace {

constexpr int kCallTimeoutMs = 5000;

bool driverRuns(const QDBusConnection& bus)
{
    return bus.isConnected() && bus.interface() && bus.interface()->isServiceRegistered(DriverBus::kName).value();
}

QDBusMessage callDriver(const QDBusConnection& bus, const char* interface, const char* method, const QVariantList& args)
{
    QDBusMessage call = QDBusMessage::createMethodCall(DriverBus::kName, DriverBus::kPath, interface, method);
    call.setArguments(args);
    return bus.call(call, QDBus::Block, kCallTimeoutMs);
}

QString modeText(int mode)
{
    const std::string_view name = modeName(mode);
    return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

} // namespace

std::optional<int> handToRunningDriver(const QDBusConnection& bus, const Options& options)
{
    if (!driverRuns(bus))
        return std::nullopt;
    QList<QDBusMessage> replies;
    if (options.mode)
        replies.append(callDriver(bus, DriverBus::kInterface, "SetMode", {modeText(*options.mode)}));
    if (!options.hidden)
        replies.append(callDriver(bus, "org.freedesktop.Application", "Activate", {QVariantMap()}));
    for (const QDBusMessage& reply : replies)
        if (reply.type() == QDBusMessage::ErrorMessage) {
            std::cerr << "lumora-driver: a driver already runs in this session but did not answer ("
                      << reply.errorMessage().toStdString() << "); end it, or wait and start again\n";
            return 1;
        }
    std::cerr << "lumora-driver: a driver already runs in this session; handed over to it\n";
    return 0;
}

QStringList autostartArguments(int mode, const Options& options)
{
    QStringList args{"--hidden", "--mode", modeText(mode)};
    if (options.port)
        args << "--port" << QString::fromStdString(*options.port);
    if (options.keepLitWhenLocked)
        args << "--keep-lit-when-locked";
    return args;
}

int switchAutostart(const QDBusConnection& bus, const Options& options)
{
    if (!*options.autostart) {
        if (const QString why = AutostartEntry::remove(); !why.isEmpty()) {
            std::cerr << "lumora-driver: " << why.toStdString() << '\n';
            return 1;
        }
        std::cout << "The driver no longer starts at login.\n";
        return 0;
    }
    int mode = options.mode.value_or(kModeOff);
    if (!options.mode && driverRuns(bus)) {
        const QDBusMessage reply = callDriver(bus, "org.freedesktop.DBus.Properties", "Get", {DriverBus::kInterface, "Mode"});
        const QString running = reply.arguments().value(0).value<QDBusVariant>().variant().toString();
        mode = modeNamed(running.toStdString()).value_or(kModeOff);
    }
    const QString why = AutostartEntry::write(QCoreApplication::applicationFilePath(), autostartArguments(mode, options));
    if (!why.isEmpty()) {
        std::cerr << "lumora-driver: " << why.toStdString() << '\n';
        return 1;
    }
    std::cout << "The driver starts at login, hidden, in " << modeText(mode).toUpper().toStdString() << " mode: "
              << AutostartEntry::path().toStdString() << '\n';
    return 0;
}

} // namespace lumora
