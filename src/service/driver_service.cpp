#include "service/driver_service.hpp"

#include <QCoreApplication>
#include <QMetaObject>

namespace lumora {

DriverService::DriverService(Controls& controls, LampLink& link, Screen& screen, RandomSource& random,
                             std::function<std::chrono::nanoseconds()> suspendedSoFar, QObject* parent)
    : QObject(parent), link_(link), screen_(screen), controller_(controls, link, screen, random, std::move(suspendedSoFar)),
      Timer1_(makeTimer("Timer1", 10, &DriverService::Timer1_Timer)),
      Timer2_(makeTimer("Timer2", 500, &DriverService::Timer2_Timer)),
      Timer3_(makeTimer("Timer3", 3000, nullptr)), // runs, and nothing listens
      Timer4_(makeTimer("Timer4", 5000, &DriverService::Timer4_Timer)),
      forwardTick_(new QTimer(this))
{
    Timer1_->setTimerType(Qt::PreciseTimer);
    forwardTick_->setTimerType(Qt::PreciseTimer);
    forwardTick_->setSingleShot(true);
    connect(forwardTick_, &QTimer::timeout, this, &DriverService::outputTick);
    // Posted, not called: the capture's thread must not run the tick.
    screen_.whenPictureArrives([this] { QMetaObject::invokeMethod(this, &DriverService::pictureArrived, Qt::QueuedConnection); });
}

// No picture is announced once the screen lets go of the call; Qt drops what is still posted.
DriverService::~DriverService() { screen_.whenPictureArrives({}); }

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
    for (QTimer* timer : {Timer1_, Timer2_, Timer3_, Timer4_, forwardTick_})
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

// A picture that arrives between two turns of Timer1 would wait for the next turn, up to 10 ms,
// and longer when the line is still busy then and that tick is skipped. Instead the tick runs as
// soon as the line can carry it, and Timer1's next turn is left out: still one tick per turn, so
// never more than 100 a second, and the line gets no more than it carries. A second picture before
// that turn waits for the turn after it; one before the tick brought forward runs is read by it.
void DriverService::pictureArrived()
{
    if (shutDown_ || !Timer1_->isActive() || timer1TurnTaken_ || forwardTick_->isActive())
        return;
    const std::chrono::nanoseconds wait = link_.untilTickCarried();
    // A line that stays busy past the turn after next (a real port's driver holding more than the
    // link knew) is left to Timer1.
    if (wait >= std::chrono::milliseconds(Timer1_->remainingTime()) + Timer1_->intervalAsDuration())
        return;
    timer1TurnTaken_ = true;
    if (wait == std::chrono::nanoseconds::zero())
        outputTick();
    else
        forwardTick_->start(std::chrono::ceil<std::chrono::milliseconds>(wait));
}

void DriverService::Timer1_Timer()
{
    if (timer1TurnTaken_) {
        timer1TurnTaken_ = false;
        return;
    }
    outputTick();
}

void DriverService::outputTick()
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
