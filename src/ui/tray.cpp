#include "ui/tray.hpp"

#include <QActionGroup>

#include <iostream>

#include "service/driver_service.hpp"
#include "ui/icon.hpp"
#include "ui/main_window.hpp"

namespace lumora {

Tray::Tray(MainWindow& window, DriverService& service, AutostartSwitch autostart, QObject* parent)
    : QObject(parent), window_(window), autostart_(std::move(autostart))
{
    menu_.addActions(window.modeActions()->actions());
    menu_.addSeparator();
    showWindow_ = menu_.addAction(QString());
    showWindow_->setObjectName("actShowWindow");
    connect(showWindow_, &QAction::triggered, this, &Tray::toggleWindow);
    atLogin_ = menu_.addAction(QStringLiteral("Запускать при входе"));
    atLogin_->setObjectName("actAutostart");
    atLogin_->setCheckable(true);
    connect(atLogin_, &QAction::triggered, this, [this](bool on) {
        if (const QString why = autostart_.set(on); !why.isEmpty()) {
            std::cerr << "lumora-driver: " << why.toStdString() << std::endl;
            atLogin_->setChecked(autostart_.enabled());
        }
    });
    menu_.addSeparator();
    QAction* quit = menu_.addAction(QStringLiteral("Выход"));
    quit->setObjectName("actQuit");
    connect(quit, &QAction::triggered, &service, [&service] { service.quit(0); });
    // What the menu says is read when it opens: the window may have been closed to the tray, the
    // login entry removed by hand.
    connect(&menu_, &QMenu::aboutToShow, this, [this] {
        showWindow_->setText(window_.isVisible() ? QStringLiteral("Скрыть окно") : QStringLiteral("Показать окно"));
        atLogin_->setChecked(autostart_.enabled());
    });
    emit menu_.aboutToShow();

    icon_.setIcon(appIcon());
    icon_.setContextMenu(&menu_);
    connect(&icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            toggleWindow();
    });
    for (QAction* mode : window.modeActions()->actions())
        connect(mode, &QAction::toggled, this, &Tray::showMode);
    showMode();
}

void Tray::toggleWindow()
{
    if (window_.isVisible()) {
        window_.hide();
        return;
    }
    window_.showNormal();
    window_.raise();
    window_.activateWindow();
}

void Tray::showMode()
{
    const QAction* mode = window_.modeActions()->checkedAction();
    icon_.setToolTip("Lumora Driver: " + (mode ? mode->text() : QString()));
}

} // namespace lumora
