// The controller: owns the state, runs the mode machine, the output, status and screen ticks,
// start-up and shut-down. The window forwards its events here under the same handler names.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "control/controller_state.hpp"
#include "control/controls.hpp"
#include "control/session_pause.hpp"
#include "link/lamp_link.hpp"
#include "random/random_source.hpp"
#include "sampling/auto_branch.hpp"
#include "sampling/screen.hpp"

namespace lumora {

class Controller {
public:
    // How long shut-down, or the lamps going dark for the session, waits for its packets to leave
    // the line: a line that carries nothing must not hold up the exit or the machine's sleep.
    static constexpr auto kDrainBound = std::chrono::milliseconds(100);
    // A jump of the time spent suspended by at least this much says the machine slept.
    static constexpr auto kSleepJump = std::chrono::seconds(1);

    // `suspendedSoFar` tells how long the machine has been suspended since it booted; with it, a
    // wake that the desktop never announced (after hibernation) is noticed at the next tick.
    Controller(Controls& controls, LampLink& link, Screen& screen, RandomSource& random,
               std::function<std::chrono::nanoseconds()> suspendedSoFar = {});

    const ControllerState& state() const { return state_; }
    ControllerState& state() { return state_; }

    // Start-up, before the window shows: applies the AUTO settings, opens the board's port (throws
    // LinkError when it is there but cannot be used; a board not there yet is waited for), fills
    // the resolution boxes and the zones, takes the screen.
    void start();
    // Shut-down: off packets to the three zones, drained to the line, then the port is closed.
    void close();

    // The mode commands, from the mode buttons or the pages of the tab control.
    void chooseOff();
    void chooseFixed();
    void chooseRnd();
    void chooseAuto();
    // The command of a mode by its number (ModeValue), as its button runs it.
    void choose(int mode);
    // A page of the tab control was selected: runs the command of its mode.
    void pageSelected();

    // The AUTO page's two buttons: apply the five settings, or the resolution boxes.
    void applySettings();
    void setResolution();

    // A colour slider moved: the master set (index 3) copies into the three zone sets of its colour.
    void colourSliderMoved(Channel channel, int index);

    void outputTick(); // every 10 ms: keyboard packet, the mode's work, one packet per zone
    void statusTick(); // every 500 ms: the swatches and the rate
    void screenTick(); // every 5 s: a fresh capture and, if asked, the screen's size

    // The desktop asks for the lamps to be dark (sleep, shut-down, the screen locked) or lets
    // them light again. Going dark sends the zones' off packets and the keyboard level 0 and waits,
    // bounded, until the line has carried them; while dark the output tick sends nothing. When the
    // last reason ends, the mode and every setting go on as they were.
    void pause(PauseReason reason);
    void resume(PauseReason reason);
    // Whether a locked screen darkens the lamps (it does unless the user asked to keep them lit).
    void keepLitWhenLocked(bool keep) { pause_ = SessionPause(keep); }
    bool dark() const { return pause_.dark(); }
    // True once after a tick noticed that the machine woke while the lamps were dark for sleep
    // and nobody said so; the lamps are lit again by then.
    bool takeUnannouncedWake();

private:
    void sendOffPackets();
    void darkTick();
    void noticeUnannouncedWake();
    void zoneSendStep(int zone);
    // The screen's size into the resolution boxes and the zones computed from them, as start-up
    // and the screen tick do.
    void followScreen();
    void reportCapture();
    // A mode other than AUTO: the screen is not read (a desktop stops sharing it).
    void leaveScreen();

    Controls& controls_;
    LampLink& link_;
    Screen& screen_;
    RandomSource& random_;
    ControllerState state_;
    AutoBranch autoBranch_;
    ScreenSize detected_; // what the resolution boxes were last filled from
    bool inTick_ = false;
    std::optional<UserText> captureProblem_; // none yet: the first state is always reported
    SessionPause pause_;
    std::function<std::chrono::nanoseconds()> suspendedSoFar_;
    std::chrono::nanoseconds suspendedAtSleep_{}; // when the lamps went dark for sleep
    bool unannouncedWake_ = false;
};

} // namespace lumora
