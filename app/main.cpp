// Entry point: reads the options, opens the screen and the board's port, runs the window.
#include <QApplication>
#include <QDBusConnection>
#include <QMessageBox>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "link/lamp_link.hpp"
#include "options.hpp"
#include "running_driver.hpp"
#include "platform/clock_random_source.hpp"
#include "ui/desktop_url_opener.hpp"
#include "platform/portal/portal_screen.hpp"
#include "platform/portal/portal_token_store.hpp"
#include "platform/serial_adapters.hpp"
#include "platform/serial_port.hpp"
#include "platform/posix/signal_watcher.hpp"
#include "platform/posix/suspended_time.hpp"
#include "platform/session/session_watcher.hpp"
#include "platform/x11/x11_screen.hpp"
#include "platform/desktop/autostart_entry.hpp"
#include "service/driver_bus.hpp"
#include "service/driver_service.hpp"
#include "service/last_words.hpp"
#include "ui/main_window.hpp"
#include "ui/tray.hpp"

namespace {

// The screen AUTO mode reads: chosen by --capture, or from the kind of session. Throws
// std::runtime_error when the monitor asked for with --monitor is not on the X display.
std::unique_ptr<lumora::Screen> makeScreen(const lumora::Options& options)
{
    const auto env = [](const char* name) {
        const char* value = std::getenv(name);
        return std::string_view(value ? value : "");
    };
    if (lumora::chooseCapture(options.capture, env("XDG_SESSION_TYPE"), env("WAYLAND_DISPLAY"), env("DISPLAY")) ==
        lumora::Capture::Portal) {
        if (!options.monitor.empty())
            std::cerr << "lumora-driver: --monitor is ignored: the desktop portal shares the monitor the user picks\n";
        return std::make_unique<lumora::PortalScreen>(lumora::RestoreTokenStore::defaultFolder());
    }
    auto screen = std::make_unique<lumora::X11Screen>(std::string(), options.monitor);
    if (const std::string missing = screen->chosenMonitorMissing(); !missing.empty())
        throw std::runtime_error(missing);
    if (const std::string why = screen->sharedMemoryProblem(); !why.empty())
        std::cerr << "lumora-driver: reading the screen without shared memory, more slowly: " << why << '\n';
    return screen;
}

// Says why the driver cannot start, on standard error and in a message box; the exit status.
int refuseToStart(const std::string& why)
{
    std::cerr << "lumora-driver: " << why << '\n';
    QMessageBox box(QMessageBox::Critical, "Lumora Driver " LUMORA_VERSION, QString::fromStdString(why), QMessageBox::Ok);
    box.setObjectName("startError");
    box.exec();
    return 1;
}

} // namespace

int main(int argc, char* argv[])
{
    const std::vector<std::string> args(argv + std::min(argc, 1), argv + argc);
    const lumora::ParseResult parsed = lumora::parseOptions(args);
    if (std::holds_alternative<lumora::ShowHelp>(parsed)) {
        std::cout << lumora::usageText();
        return 0;
    }
    if (std::holds_alternative<lumora::ShowVersion>(parsed)) {
        std::cout << lumora::versionText();
        return 0;
    }
    if (const auto* error = std::get_if<lumora::UsageError>(&parsed)) {
        std::cerr << "lumora-driver: " << error->message << " (see --help)\n";
        return 2;
    }
    const lumora::Options& options = std::get<lumora::Options>(parsed);

    if (options.autostart) {
        QCoreApplication app(argc, argv); // no window: this works from a console too
        return lumora::switchAutostart(QDBusConnection::sessionBus(), options);
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName("lumora-driver");
    QGuiApplication::setDesktopFileName("net.example.lumora.Driver"); // the menu entry: its name and icon

    // One driver per session, found on the session bus by its name: a second start hands the
    // running one what it was asked and ends. Without a session bus each start runs on its own.
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (const std::optional<int> status = lumora::handToRunningDriver(bus, options))
        return *status;

    lumora::SerialPort port = options.port ? lumora::SerialPort(*options.port)
                                           : lumora::SerialPort::adapterIn(lumora::adapterFolder());
    lumora::SteadyClock clock;
    lumora::MainWindow* window = nullptr;
    lumora::LampLink link(port, clock, [&window](const lumora::UserText& problem) {
        if (window)
            window->showLinkState(problem);
    });
    std::unique_ptr<lumora::Screen> screen;
    try {
        screen = makeScreen(options);
    } catch (const std::runtime_error& e) {
        return refuseToStart(e.what());
    }
    lumora::ClockRandomSource random;
    lumora::DesktopUrlOpener opener;

    lumora::MainWindow form(opener);
    lumora::DriverService service(form, link, *screen, random, lumora::suspendedSinceBoot);
    // Under Wayland the ticks follow the line (TickPace::Line); the X11 capture keeps its turn every 10 ms.
    if (dynamic_cast<const lumora::PortalScreen*>(screen.get()))
        service.setTickPace(lumora::TickPace::Line);
    form.attach(service);
    window = &form;
    service.controller().keepLitWhenLocked(options.keepLitWhenLocked);
    // The name is taken before the port is opened, so that a second start at the same moment
    // hands over instead of finding the port busy.
    lumora::DriverBus driverBus(service, form, link);
    if (bus.isConnected() && !driverBus.publish(bus)) {
        if (const std::optional<int> status = lumora::handToRunningDriver(bus, options))
            return *status;
        std::cerr << "lumora-driver: cannot take the name " << lumora::DriverBus::kName
                  << " on the session bus; running without it\n";
    }
    QObject::connect(&driverBus, &lumora::DriverBus::activationRequested, &form, [&form] {
        form.showNormal();
        form.raise();
        form.activateWindow();
    });
    try {
        service.start();
    } catch (const lumora::LinkError& e) {
        return refuseToStart(e.what());
    }
    // However the program ends from here on, the zone lamps go dark first: SIGINT, SIGTERM and
    // SIGHUP end it as closing the window does; the display going away and fatal errors through
    // the last words.
    lumora::LastWords lastWords(service);
    lumora::SignalWatcher termination;
    QObject::connect(&termination, &lumora::SignalWatcher::terminationRequested, &service, [&service] { service.quit(0); });
    // The session: the lamps go dark for sleep, shut-down and the lock. Directly connected, so that
    // the lamps are dark on the wire before the watcher lets the machine go on.
    lumora::SessionWatcher session(QDBusConnection::systemBus(), bus);
    QObject::connect(&session, &lumora::SessionWatcher::pauseRequested, &service, &lumora::DriverService::pause, Qt::DirectConnection);
    QObject::connect(&session, &lumora::SessionWatcher::resumeRequested, &service, &lumora::DriverService::resume, Qt::DirectConnection);
    QObject::connect(&service, &lumora::DriverService::wokeUnannounced, &session, &lumora::SessionWatcher::retakeInhibitor);
    session.start();
    if (options.mode)
        service.controller().choose(*options.mode);

    // The tray, where the desktop has one; the window hides there only when asked and when it can.
    std::unique_ptr<lumora::Tray> tray;
    if (lumora::Tray::available()) {
        tray = std::make_unique<lumora::Tray>(form, service, lumora::AutostartSwitch{
            [] { return lumora::AutostartEntry::exists(); },
            [&service, &options](bool on) {
                return on ? lumora::AutostartEntry::write(QCoreApplication::applicationFilePath(),
                                                          lumora::autostartArguments(service.controller().state().Mode, options))
                          : lumora::AutostartEntry::remove();
            }});
        tray->show();
    }
    if (!options.hidden || !tray)
        form.show();
    const int status = app.exec();
    if (link.skippedTicks() > 0)
        std::cerr << "lumora-driver: skipped " << link.skippedTicks() << " ticks while the line was busy\n";
    // The frame count lets a benchmark set the driver's CPU time against the frames it was sent.
    if (const auto* portal = dynamic_cast<const lumora::PortalScreen*>(screen.get()); portal && portal->framesReceived() > 0)
        std::cerr << "lumora-driver: received " << portal->framesReceived() << " frames from the desktop portal\n";
    return status;
}
