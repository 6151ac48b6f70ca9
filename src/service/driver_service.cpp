#include "service/driver_service.hpp"

#include <QCoreApplication>
#include <QMetaObject>

#include <algorithm>

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
    connect(forwardTick_, &QTimer::timeout, this, &DriverService::forwardTickTimer);
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
// and 10 more when the line is still busy then and that tick is skipped. Instead the next turn's
// tick runs as soon as the line can carry it, and the turns go on from the turn after: still one
// tick per 10 ms turn, so never more than 100 a second, and the line gets no more than it carries.
// Timer1 rests meanwhile, so the turn given up costs no wake-up. A picture that comes while the
// tick brought forward waits for the line is read by that tick.
void DriverService::pictureArrived()
{
    if (shutDown_ || beat_ == Beat::BroughtForward || (beat_ == Beat::Timer1 && !Timer1_->isActive()))
        return;
    const auto now = std::chrono::steady_clock::now();
    const auto turn = Timer1_->intervalAsDuration();
    const auto nextTurn = beat_ == Beat::Resuming ? resumeAt_ : now + std::chrono::milliseconds(Timer1_->remainingTime());
    const std::chrono::nanoseconds wait = link_.untilTickCarried();
    // A line busy past the turn after (a real port's driver holding more than the link knew) is
    // left to the turns.
    if (now + wait >= nextTurn + turn)
        return;
    Timer1_->stop();
    resumeAt_ = nextTurn + turn;
    if (wait > std::chrono::nanoseconds::zero()) {
        beat_ = Beat::BroughtForward;
        forwardTick_->start(std::chrono::ceil<std::chrono::milliseconds>(wait));
        return;
    }
    outputTick();
    awaitResume();
}

void DriverService::forwardTickTimer()
{
    outputTick();
    if (beat_ == Beat::BroughtForward) {
        awaitResume();
        return;
    }
    beat_ = Beat::Timer1;
    Timer1_->start();
}

void DriverService::awaitResume()
{
    beat_ = Beat::Resuming;
    const auto left = std::chrono::round<std::chrono::milliseconds>(resumeAt_ - std::chrono::steady_clock::now());
    forwardTick_->start(std::max(left, std::chrono::milliseconds::zero()));
}

void DriverService::Timer1_Timer() { outputTick(); }

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
