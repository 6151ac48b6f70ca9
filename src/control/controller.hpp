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

    // Start-up, before the window shows. Throws LinkError when the board's port cannot be opened.
    void Form_Load();
    // Shut-down: off packets to the three zones, drained to the line, then the port is closed.
    void Form_Unload();

    void cmdOFF_Click();
    void cmdFIXED_Click();
    void cmdRND_Click();
    void cmdAuto_Click();
    void Tab1_Click();

    void cmdAUTOset_Click();
    void cmdSet_Click();

    // The master colour sets (index 3) copy into the three zone sets of their own colour.
    void slR_Scroll(int Index) { masterCopy(Channel::Red, Index); }
    void slG_Scroll(int Index) { masterCopy(Channel::Green, Index); }
    void slB_Scroll(int Index) { masterCopy(Channel::Blue, Index); }

    void Timer1_Timer(); // output tick, every 10 ms
    void Timer2_Timer(); // status tick, every 500 ms
    void Timer3_Timer() {}
    void Timer4_Timer(); // screen tick, every 5 s

private:
    void sendOffPackets();
    void zoneSendStep(int zone);
    void detectResolution();
    // Resolution detection and the zones computed from it, as start-up and the screen tick do.
    void followScreen();
    void masterCopy(Channel channel, int index);
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
