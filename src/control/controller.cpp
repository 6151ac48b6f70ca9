#include "control/controller.hpp"

#include "random/fade.hpp"
#include "random/gen_target.hpp"
#include "sampling/auto_settings.hpp"
#include "sampling/zones.hpp"

namespace lumora {

namespace {

constexpr int kPageRnd = 0;
constexpr int kPageAuto = 1;
constexpr int kPageFixed = 2;
constexpr int kPageHelp = 3;

} // namespace

Controller::Controller(Controls& controls, LampLink& link, Screen& screen, RandomSource& random,
                       std::function<std::chrono::nanoseconds()> suspendedSoFar)
    : controls_(controls), link_(link), screen_(screen), random_(random), suspendedSoFar_(std::move(suspendedSoFar))
{
}

void Controller::start()
{
    applySettings();
    // The random source was seeded from the clock when it was made, just before start-up.
    link_.open();
    followScreen();
    screen_.renew();
    reportCapture();
}

void Controller::close()
{
    sendOffPackets();
    state_.Mode = kModeOff;
    link_.shutdown(kDrainBound);
}

void Controller::pause(PauseReason reason)
{
    if (reason == PauseReason::Sleep && !pause_.holds(reason) && suspendedSoFar_)
        suspendedAtSleep_ = suspendedSoFar_();
    if (!pause_.enter(reason))
        return;
    sendOffPackets();
    link_.sendCommand(keyboardPacket(0));
    link_.drain(kDrainBound);
    controls_.showPauseState(darkReasonText(*pause_.why()));
}

void Controller::resume(PauseReason reason)
{
    if (!pause_.leave(reason)) {
        if (const auto why = pause_.why())
            controls_.showPauseState(darkReasonText(*why)); // still dark, maybe for another reason
        return;
    }
    // The board may have lost its power meanwhile and woken lit: in OFF nothing else would say
    // otherwise. The other modes send every lamp's level at the next tick.
    if (state_.Mode == kModeOff)
        sendOffPackets();
    controls_.showPauseState({});
}

void Controller::noticeUnannouncedWake()
{
    if (!suspendedSoFar_ || !pause_.holds(PauseReason::Sleep))
        return;
    if (suspendedSoFar_() - suspendedAtSleep_ < kSleepJump)
        return;
    unannouncedWake_ = true;
    resume(PauseReason::Sleep);
}

bool Controller::takeUnannouncedWake()
{
    const bool was = unannouncedWake_;
    unannouncedWake_ = false;
    return was;
}

void Controller::darkTick()
{
    // Nothing is sent, but a board that comes back meanwhile is put in the dark too.
    (void)link_.beginTick();
    link_.endTick();
    if (link_.takeReconnected()) {
        sendOffPackets();
        link_.sendCommand(keyboardPacket(0));
    }
}

void Controller::sendOffPackets()
{
    for (int channel = 0; channel < kZoneCount; ++channel)
        link_.sendCommand(offPacket(channel));
}

void Controller::chooseOff()
{
    sendOffPackets();
    state_.Mode = kModeOff;
    leaveScreen();
}

void Controller::chooseFixed()
{
    state_.Mode = kModeFixed;
    leaveScreen();
    controls_.selectPage(kPageFixed);
}

void Controller::chooseRnd()
{
    state_.Mode = kModeRnd;
    leaveScreen();
    controls_.selectPage(kPageRnd);
}

void Controller::chooseAuto()
{
    state_.Mode = kModeAuto;
    controls_.selectPage(kPageAuto);
    screen_.activate();
    reportCapture(); // what the screen now waits for shows at once, not at the next screen tick
}

void Controller::leaveScreen()
{
    screen_.deactivate();
    reportCapture();
}

void Controller::choose(int mode)
{
    switch (mode) {
    case kModeOff:
        chooseOff();
        break;
    case kModeFixed:
        chooseFixed();
        break;
    case kModeRnd:
        chooseRnd();
        break;
    case kModeAuto:
        chooseAuto();
        break;
    default:
        break;
    }
}

void Controller::pageSelected()
{
    // The page is read afresh before each test: a command selects its own page, which the
    // later tests then see.
    if (controls_.selectedPage() == kPageRnd)
        chooseRnd();
    if (controls_.selectedPage() == kPageAuto)
        chooseAuto();
    if (controls_.selectedPage() == kPageFixed)
        chooseFixed();
    if (controls_.selectedPage() == kPageHelp)
        chooseOff();
}

void Controller::applySettings()
{
    const std::array<std::string, 5> texts{controls_.text(TextBox::StepX), controls_.text(TextBox::StepY),
                                           controls_.text(TextBox::Delta), controls_.text(TextBox::Min1),
                                           controls_.text(TextBox::Min2)};
    controls_.showSettingsMessage(applyAutoSettings(state_, texts));
}

void Controller::setResolution()
{
    controls_.showResolutionMessage(applyResolution(state_, controls_.text(TextBox::ResX), controls_.text(TextBox::ResY)));
}

void Controller::followScreen()
{
    detected_ = screen_.size();
    controls_.setText(TextBox::ResX, resolutionText(detected_.width));
    controls_.setText(TextBox::ResY, resolutionText(detected_.height));
    // A refusal the user has not read yet stays until the button is pressed again.
    const std::string message = applyResolution(state_, controls_.text(TextBox::ResX), controls_.text(TextBox::ResY));
    if (!message.empty())
        controls_.showResolutionMessage(message);
}

void Controller::colourSliderMoved(Channel channel, int index)
{
    if (index != 3)
        return;
    // The master is read again before each copy, as the zones are set one at a time.
    for (int zone = 0; zone < kZoneCount; ++zone)
        controls_.setColourSlider(channel, zone, controls_.colourSlider(channel, 3));
}

void Controller::zoneSendStep(int zone)
{
    const auto i = static_cast<std::size_t>(zone);
    for (ZoneArray* channel : {&state_.CurR, &state_.CurG, &state_.CurB})
        if ((*channel)[i] < 0)
            (*channel)[i] = 0;
    for (ZoneArray* channel : {&state_.CurR, &state_.CurG, &state_.CurB})
        if ((*channel)[i] > 255)
            (*channel)[i] = 255;
    link_.sendPeriodic(zonePacket(zone, state_.CurR[i], state_.CurG[i], state_.CurB[i]));
}

void Controller::outputTick()
{
    // A tick never starts inside another; the work below does not yield, so this only guards
    // against a nested event loop (a dialog opened from inside a tick).
    if (inTick_)
        return;
    noticeUnannouncedWake();
    if (pause_.dark()) {
        darkTick();
        return;
    }
    inTick_ = true;
    // However the tick ends, what it queued leaves for the line in one write.
    struct TickEnd {
        bool& inTick;
        LampLink& link;
        ~TickEnd()
        {
            link.endTick();
            inTick = false;
        }
    } tickEnd{inTick_, link_};
    const bool sendable = link_.beginTick();
    if (link_.takeReconnected() && state_.Mode == kModeOff)
        sendOffPackets(); // the board may have come back lit: put it in the state we are in
    // A tick the line cannot carry does not happen at all: no packet, no fade step, no smoothing,
    // not counted. The board then sees whole ticks, only fewer of them per second.
    if (!sendable)
        return;

    // A screen that had no size yet (a portal stream before its first frame) is measured as soon
    // as it has one, not only at the next screen tick.
    if (detected_ == ScreenSize{} && screen_.size() != ScreenSize{})
        followScreen();

    link_.sendPeriodic(keyboardPacket(controls_.slW()));
    const auto sendStep = [this](int zone) { zoneSendStep(zone); };
    if (state_.Mode == kModeFixed) {
        for (int zone = 0; zone < kZoneCount; ++zone) {
            const int r = controls_.colourSlider(Channel::Red, zone);
            const int g = controls_.colourSlider(Channel::Green, zone);
            const int b = controls_.colourSlider(Channel::Blue, zone);
            link_.sendPeriodic(zonePacket(zone, r, g, b));
        }
    }
    if (state_.Mode == kModeRnd) {
        rndTick(state_, state_, controls_.Slider1(), random_,
                [this] { return RndSettings{controls_.optRNDbright(), controls_.chkRndOnecolor()}; }, sendStep);
    }
    if (state_.Mode == kModeAuto) {
        try {
            autoBranch_.tick(state_, screen_, scanSettings(state_, controls_.optAUTO1(), controls_.chkMark()), sendStep);
        } catch (const OverflowError& e) {
            // The settings are checked when applied so that this cannot happen; should it all
            // the same, the lamps keep their last colours and the program goes on.
            controls_.showSettingsMessage(std::string("AUTO пропустил такт: ") + e.what());
        }
    }
    state_.FrameCount = add16(state_.FrameCount, 1);
}

void Controller::statusTick()
{
    StatusView view{};
    const auto fill = [this](int (&rgb)[3], int zone) {
        const auto i = static_cast<std::size_t>(zone);
        rgb[0] = state_.CurR[i];
        rgb[1] = state_.CurG[i];
        rgb[2] = state_.CurB[i];
    };
    fill(view.top, 1);
    fill(view.right, 2);
    fill(view.left, 0);
    const auto why = pause_.why();
    view.fps = why ? darkReasonWord(*why) : std::to_string(checked16(2LL * state_.FrameCount));
    view.mode = state_.Mode;
    controls_.showStatus(view);
    state_.FrameCount = 0;
}

void Controller::screenTick()
{
    screen_.renew();
    reportCapture();
    if (controls_.chkResAuto())
        followScreen();
}

void Controller::reportCapture()
{
    const UserText problem = screen_.problem();
    if (problem != captureProblem_) {
        captureProblem_ = problem;
        controls_.showCaptureState(problem);
    }
}

} // namespace lumora
