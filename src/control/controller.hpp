// The controller: owns the state, runs the mode machine, the output, status and screen ticks,
// start-up and shut-down. The window forwards its events here under the same handler names.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "control/controller_state.hpp"
#include "control/controls.hpp"
#include "link/lamp_link.hpp"
#include "random/random_source.hpp"
#include "sampling/auto_branch.hpp"
#include "sampling/screen.hpp"

namespace lumora {

class Controller {
public:
    // How long shut-down waits for the off packets to leave the line.
    static constexpr auto kShutdownDrainBound = std::chrono::milliseconds(500);

    Controller(Controls& controls, LampLink& link, Screen& screen, RandomSource& random);

    const ControllerState& state() const { return state_; }
    ControllerState& state() { return state_; }

    // Start-up, before the window shows: applies the AUTO settings, opens the board's port (throws
    // LinkError when it cannot), fills the resolution boxes and the zones, takes the screen.
    void start();
    // Shut-down: off packets to the three zones, drained to the line, then the port is closed.
    void close();

    // The mode commands, from the mode buttons or the pages of the tab control.
    void chooseOff();
    void chooseFixed();
    void chooseRnd();
    void chooseAuto();
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

private:
    void sendOffPackets();
    void zoneSendStep(int zone);
    // The screen's size into the resolution boxes and the zones computed from them, as start-up
    // and the screen tick do.
    void followScreen();
    void reportCapture();

    Controls& controls_;
    LampLink& link_;
    Screen& screen_;
    RandomSource& random_;
    ControllerState state_;
    AutoBranch autoBranch_;
    ScreenSize detected_; // what the resolution boxes were last filled from
    bool inTick_ = false;
    std::optional<UserText> captureProblem_; // none yet: the first state is always reported
};

} // namespace lumora
