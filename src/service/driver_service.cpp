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
    // Posted, not called: the capture's thread must not run the tick; and only when it may gain,
    // as under a moving screen most pictures come while the line is busy.
    screen_.whenPictureArrives([this] {
        if (forwardMayGain_.load(std::memory_order_relaxed))
            QMetaObject::invokeMethod(this, &DriverService::pictureArrived, Qt::QueuedConnection);
    });
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
    publishForwardGain();
}

void DriverService::shutdown()
{
    if (shutDown_)
        return;
    shutDown_ = true;
    for (QTimer* timer : {Timer1_, Timer2_, Timer3_, Timer4_, forwardTick_})
        timer->stop();
    publishForwardGain();
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

// A picture that arrives between two turns of Timer1 waits for the next turn, up to 10 ms. While
// the line is still busy with earlier ticks that costs nothing: the tick's packets would queue
// behind those bytes anyway. It costs the wait when the line falls idle before the turn, and 10 ms
// more when the turn's tick is skipped because the line cannot carry it yet. Then the next turn's
// tick is brought forward to as soon as the line can carry it, and the turns go on from the turn
// after: still one tick per 10 ms turn, never more than 100 a second, and the line gets no more
// than it carries. Timer1 rests meanwhile, so the turn given up wakes nobody.
bool DriverService::forwardGains(Clock::time_point now, Clock::time_point nextTurn, const LampLink::Outlook& line)
{
    return now + line.tickCarried > nextTurn || now + line.idle < nextTurn;
}

DriverService::Clock::time_point DriverService::nextTurn(Clock::time_point now) const
{
    return beat_ == Beat::Resuming ? resumeAt_ : now + std::chrono::milliseconds(Timer1_->remainingTime());
}

bool DriverService::takesPictures() const
{
    return !shutDown_ && beat_ != Beat::BroughtForward && (beat_ != Beat::Timer1 || Timer1_->isActive());
}

// What the capture's thread asks before it wakes the service: whether a picture that arrives
// before the next turn may gain from a tick brought forward. Nothing but ticks changes that, so it
// is renewed at every turn and change of beat.
void DriverService::publishForwardGain()
{
    const auto now = Clock::now();
    forwardMayGain_.store(takesPictures() && forwardGains(now, nextTurn(now), link_.outlook()), std::memory_order_relaxed);
}

void DriverService::pictureArrived()
{
    if (!takesPictures())
        return;
    const auto now = Clock::now();
    const Clock::time_point next = nextTurn(now);
    const auto turn = Timer1_->intervalAsDuration();
    const LampLink::Outlook line = link_.outlook();
    const std::chrono::nanoseconds wait = line.tickCarried;
    // A line busy past the turn after (a real port's driver holding more than the link knew) is
    // left to the turns.
    if (!forwardGains(now, next, line) || now + wait >= next + turn)
        return;
    Timer1_->stop();
    resumeAt_ = next + turn;
    if (wait > std::chrono::nanoseconds::zero()) {
        beat_ = Beat::BroughtForward;
        forwardTick_->start(std::chrono::ceil<std::chrono::milliseconds>(wait));
        publishForwardGain();
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
    publishForwardGain();
}

void DriverService::awaitResume()
{
    beat_ = Beat::Resuming;
    const auto left = std::chrono::round<std::chrono::milliseconds>(resumeAt_ - Clock::now());
    forwardTick_->start(std::max(left, std::chrono::milliseconds::zero()));
    publishForwardGain();
}

void DriverService::Timer1_Timer()
{
    outputTick();
    publishForwardGain();
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
