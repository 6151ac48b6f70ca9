// The driver's lifecycle, below the window: owns the controller and Timer1..Timer4, and is the one
// path for start-up, the session's pauses and shut-down, whoever asks (the window, a signal, the
// session listener, the display going away). A new picture of the screen brings the output tick
// forward.
#pragma once

#include <QObject>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <functional>

#include "base/pause_reason.hpp"
#include "control/controller.hpp"

namespace lumora {

class DriverService : public QObject {
    Q_OBJECT
public:
    // Listens to `screen` for new pictures until destroyed.
    DriverService(Controls& controls, LampLink& link, Screen& screen, RandomSource& random,
                  std::function<std::chrono::nanoseconds()> suspendedSoFar = {}, QObject* parent = nullptr);
    ~DriverService() override;

    Controller& controller() { return controller_; }

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

    // Every 10 ms, but while a tick is brought forward for a new picture: the output tick.
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
    using Clock = std::chrono::steady_clock;
    // A new picture of the screen (posted from the capture's thread).
    void pictureArrived();
    // Whether a tick brought forward now would put a new picture on the line sooner than the
    // tick of the turn at `nextTurn`, given what `line` still holds.
    static bool forwardGains(Clock::time_point now, Clock::time_point nextTurn, const LampLink::Outlook& line);
    Clock::time_point nextTurn(Clock::time_point now) const;
    bool takesPictures() const; // a picture may bring a tick forward
    void publishForwardGain();
    void forwardTickTimer();
    void awaitResume();
    void outputTick();

    LampLink& link_;
    Screen& screen_;
    Controller controller_;
    QTimer* Timer1_;
    QTimer* Timer2_;
    QTimer* Timer3_;
    QTimer* Timer4_;
    // Whose the next output tick is. A new picture brings the next turn's tick forward: Timer1
    // rests, and forwardTick_ runs that tick, then the tick of the turn after, from which Timer1
    // takes up its turns again.
    enum class Beat {
        Timer1,         // Timer1's turns, every 10 ms
        BroughtForward, // forwardTick_ runs the tick brought forward, once the line can carry it
        Resuming,       // forwardTick_ runs the tick of the turn at resumeAt_
    };
    QTimer* forwardTick_;
    Beat beat_ = Beat::Timer1;
    Clock::time_point resumeAt_;
    std::atomic<bool> forwardMayGain_{false}; // read on the capture's thread
    bool shutDown_ = false;
};

} // namespace lumora
