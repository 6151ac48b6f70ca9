// The driver in the desktop's tray (a StatusNotifierItem where the desktop offers one): its icon
// names the mode, and its menu chooses the mode, shows or hides the window, switches the start at
// login and quits. An addition to the window: closing the window still ends the driver.
#pragma once

#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>

#include <functional>

namespace lumora {

class DriverService;
class MainWindow;

// The user's login entry, as the tray switches it: whether it is there, and writing or removing
// it (an empty text, or why not).
struct AutostartSwitch {
    std::function<bool()> enabled;
    std::function<QString(bool on)> set;
};

class Tray : public QObject {
    Q_OBJECT
public:
    Tray(MainWindow& window, DriverService& service, AutostartSwitch autostart, QObject* parent = nullptr);

    // Whether the desktop has a tray to show the icon in now.
    static bool available() { return QSystemTrayIcon::isSystemTrayAvailable(); }
    void show() { icon_.show(); }
    QMenu& menu() { return menu_; }
    QString toolTip() const { return icon_.toolTip(); }

private:
    void toggleWindow();
    void showMode();

    MainWindow& window_;
    AutostartSwitch autostart_;
    QMenu menu_;
    QSystemTrayIcon icon_;
    QAction* showWindow_ = nullptr;
    QAction* atLogin_ = nullptr;
};

} // namespace lumora
