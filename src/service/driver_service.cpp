#include "service/driver_service.hpp"

#include <QCoreApplication>

namespace lumora {

DriverService::DriverService(Controls& controls, LampLink& link, Screen& screen, RandomSource& random,
                             std::function<std::chrono::nanoseconds()> suspendedSoFar, QObject* parent)
    : QObject(parent), controller_(controls, link, screen, random, std::move(suspendedSoFar)),
      Timer1_(makeTimer("Timer1", 10, &DriverService::Timer1_Timer)),
      Timer2_(makeTimer("Timer2", 500, &DriverService::Timer2_Timer)),
      Timer3_(makeTimer("Timer3", 3000, nullptr)), // runs, and nothing listens
      Timer4_(makeTimer("Timer4", 5000, &DriverService::Timer4_Timer))
{
    Timer1_->setTimerType(Qt::PreciseTimer);
}

DriverService::~DriverService() = default;

QTimer* DriverService::makeTimer(const char* name, int interval, void (DriverService::*handler)())
{
    auto* timer = new QTimer(this);
    timer->setObjectName(name);
    timer->setInterval(interval);
    if (handler)
        connect(timer, &QTimer::timeout, this, handler);
    return timer;
}

void DriverService::start()
{
    controller_.start();
    for (QTimer* timer : {Timer1_, Timer2_, Timer3_, Timer4_})
        timer->start();
}

void DriverService::shutdown()
{
    if (shutDown_)
        return;
    shutDown_ = true;
    for (QTimer* timer : {Timer1_, Timer2_, Timer3_, Timer4_})
        timer->stop();
    controller_.close();
}

void DriverService::quit(int status)
{
    shutdown();
    QCoreApplication::exit(status);
}

void DriverService::pause(PauseReason reason)
{
    if (!shutDown_)
        controller_.pause(reason);
}

void DriverService::resume(PauseReason reason)
{
    if (!shutDown_)
        controller_.resume(reason);
}

void DriverService::Timer1_Timer()
{
    controller_.outputTick();
    if (controller_.takeUnannouncedWake())
        emit wokeUnannounced();
}

void DriverService::Timer2_Timer()
{
    controller_.statusTick();
    emit statusShown();
}

} // namespace lumora
