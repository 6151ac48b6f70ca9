// The driver's lifecycle, below the window: owns the controller and Timer1..Timer4, and is the one
// path for start-up, the session's pauses and shut-down, whoever asks (the window, a signal, the
// session listener, the display going away).
#pragma once

#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>

#include "base/pause_reason.hpp"
#include "control/controller.hpp"

namespace lumora {

// When Timer1's turns come.
enum class TickPace {
    // Every 10 ms; a tick the line cannot carry yet is skipped whole, as the link says. The line
    // carries a little less than a tick every 10 ms, so it always holds up to a tick and a half
    // of earlier packets, which a new colour queues behind.
    EveryTenMs,
    // 10 ms after the last turn at the earliest, and later while the line would still hold more
    // than the last bytes of the last tick: each tick finds the line all but empty, so a new
    // colour waits for at most one earlier tick's packets, and no tick is skipped. About 96 a
    // second, all of them on the wire.
    Line,
};

class DriverService : public QObject {
    Q_OBJECT
public:
    DriverService(Controls& controls, LampLink& link, Screen& screen, RandomSource& random,
                  std::function<std::chrono::nanoseconds()> suspendedSoFar = {}, QObject* parent = nullptr);
    ~DriverService() override;

    Controller& controller() { return controller_; }
    // EveryTenMs unless set, before start().
    void setTickPace(TickPace pace) { pace_ = pace; }

    // Start-up, then the timers run. Throws LinkError when the board's port is there but cannot be
    // used; a board not there yet is waited for.
    void start();
    // Shut-down, once: the timers stop, the zones' off packets reach the line (bounded) and the
    // port closes. Later calls do nothing, and no tick or pause sends anything after it.
    void shutdown();
    bool isShutDown() const { return shutDown_; }

public slots:
    // Shut-down, then the event loop ends with `status`.
    void quit(int status = 0);
    void pause(lumora::PauseReason reason);
    void resume(lumora::PauseReason reason);

    // A turn: the output tick (see TickPace).
    void Timer1_Timer();
    void Timer2_Timer();
    void Timer4_Timer() { controller_.screenTick(); }

signals:
    // The status tick has shown the lamps' state (twice a second).
    void statusShown();
    // The machine woke while the lamps were dark for sleep and nobody said so; they are lit again.
    void wokeUnannounced();

private:
    QTimer* makeTimer(const char* name, int interval, void (DriverService::*handler)());
    void aimNextTurn();

    LampLink& link_;
    Controller controller_;
    QTimer* Timer1_;
    QTimer* Timer2_;
    QTimer* Timer3_;
    QTimer* Timer4_;
    TickPace pace_ = TickPace::EveryTenMs;
    std::chrono::steady_clock::time_point turnAt_; // when the last turn was due (Line)
    bool shutDown_ = false;
};

} // namespace lumora
