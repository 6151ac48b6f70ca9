#include "service/driver_service.hpp"

#include <QCoreApplication>

#include <algorithm>

namespace lumora {

namespace {

// Paced by the line, a turn comes once the line holds no more than this: about a millisecond of
// line time, so that the line does not run dry while the tick works, and whole milliseconds of
// timer rounding stay within it.
constexpr double kLineLeftAtTurn = 2.0;

} // namespace

DriverService::DriverService(Controls& controls, LampLink& link, Screen& screen, RandomSource& random,
                             std::function<std::chrono::nanoseconds()> suspendedSoFar, QObject* parent)
    : QObject(parent), link_(link), controller_(controls, link, screen, random, std::move(suspendedSoFar)),
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
    Timer1_->setSingleShot(pace_ == TickPace::Line); // aimed anew at every turn
    turnAt_ = std::chrono::steady_clock::now();
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
    if (pace_ == TickPace::Line && !shutDown_)
        aimNextTurn();
}

// The next turn is due 10 ms after the one just due, as with a periodic timer (a turn a little
// late is made up; one late by a whole turn starts afresh, without a burst to catch up), or later,
// once the line holds no more than kLineLeftAtTurn bytes.
void DriverService::aimNextTurn()
{
    const auto now = std::chrono::steady_clock::now();
    auto next = turnAt_ + std::chrono::milliseconds(10);
    if (next <= now)
        next = now + std::chrono::milliseconds(10);
    turnAt_ = std::max(next, now + link_.untilBacklogAtMost(kLineLeftAtTurn));
    Timer1_->start(std::chrono::round<std::chrono::milliseconds>(turnAt_ - now));
}

void DriverService::Timer2_Timer()
{
    controller_.statusTick();
    emit statusShown();
}

} // namespace lumora
