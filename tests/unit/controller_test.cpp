// The controller through its handlers: start-up, the mode machine, the output and status ticks,
// the master sliders, the screen tick and shut-down, with fake controls, line, clock and screen.
#include "core_fakes.hpp"

namespace lumora::test {
namespace {

const Bytes kOffPackets = concat({offPacket(0), offPacket(1), offPacket(2)});

struct Rig {
    explicit Rig(std::function<std::chrono::nanoseconds()> suspended = {}) : controller{controls, link, screen, random, std::move(suspended)}
    {
        controls.onPageChange = [this] { controller.pageSelected(); }, controller.start();
    }

    // One output tick, far enough after the last one that the line has caught up.
    void tick() { clock.advance(std::chrono::milliseconds(20)), controller.outputTick(); }
    // The bytes written since the last call.
    Bytes take() { return std::exchange(line.written, {}); }
    ControllerState& st() { return controller.state(); }

    FakeControls controls;
    FakeLine line;
    FakeClock clock;
    LampLink link{line, clock, [this](const UserText& m) { controls.showLinkState(m); }};
    FakeScreen screen;
    ScriptedRandom random{std::vector<double>(10000, 0.5)};
    Controller controller;
};

TEST(ControllerStartup, AppliesSettingsOpensPortReadsScreenAndStaysOffUntilShutDownSwitchesOff)
{
    Rig rig;
    const auto& st = rig.st();
    EXPECT_EQ((std::array<int, 5>{st.StepX, st.StepY, st.Delta, st.Min1, st.Min2}), (std::array<int, 5>{25, 50, 30, 50, 100}));
    EXPECT_EQ(std::tuple(rig.line.opens, st.ZoneX1[2], st.Mode, rig.controls.page, rig.screen.renewals), std::tuple(1, 1280, kModeOff, 3, 1));

    // Shut-down sends the off packets, then closes the line.
    rig.controller.chooseFixed();
    rig.tick();
    rig.take();
    rig.controller.close();
    EXPECT_EQ(rig.take(), kOffPackets);
    EXPECT_TRUE(rig.st().Mode == kModeOff && !rig.line.isOpen());

    FakeLine line;
    line.openFailures = {LinkError::Kind::Unusable};
    LampLink link{line, rig.clock};
    EXPECT_THROW(Controller(rig.controls, link, rig.screen, rig.random).start(), LinkError);
}

TEST(ControllerTick, SendsWhatEachModeGivesClampedNeverNestsAndSurvivesAnAutoOverflow)
{
    Rig rig;
    auto& st = rig.st();
    st.CurR = {7, 8, 9};
    rig.controls.sliders = {{{10, 40, 70, 250}, {20, 50, 80, 250}, {30, 60, 13, 250}}};
    rig.controls.keyboard = 200;
    rig.controller.chooseFixed();
    rig.tick();
    // A level of 13 goes out as it is; the current colours stay.
    EXPECT_EQ(rig.take(), concat({keyboardPacket(200), zonePacket(0, 10, 20, 30), zonePacket(1, 40, 50, 60), zonePacket(2, 70, 80, 13)}));
    EXPECT_EQ(st.CurR, (ZoneArray{7, 8, 9}));
    // Targets equal to the current colours: the fade does not move them, the send step clamps.
    // Zone 2's blue is far from its target, so the fade does not draw new ones.
    st.CurR = st.TargetR = {300, -7, 255};
    st.CurG = st.TargetG = {-1, 256, 0};
    st.CurB = st.TargetB = {0, 1000, 0};
    st.CurB[2] = -300;
    rig.controls.speed = 5;
    rig.controller.chooseRnd();
    rig.tick();
    EXPECT_EQ(rig.take(), concat({keyboardPacket(200), zonePacket(0, 255, 0, 0), zonePacket(1, 0, 255, 255), zonePacket(2, 255, 0, 0)}));
    EXPECT_EQ(std::tuple(st.CurR, st.CurG, st.CurB), std::tuple(ZoneArray{255, 0, 255}, ZoneArray{0, 255, 0}, ZoneArray{0, 255, 0}));
    Rig fresh;
    int nested = 0;
    fresh.controls.duringTick = [&] { nested++ == 0 ? fresh.controller.outputTick() : void(); }; // as a dialog's event loop would
    fresh.tick();
    EXPECT_EQ(std::pair(fresh.take(), fresh.st().FrameCount), std::pair(concat({keyboardPacket(0)}), i16{1}));
    fresh.controls.duringTick = nullptr;

    // Settings are refused when they could overflow; forced in all the same, the tick goes on.
    fresh.controller.chooseAuto();
    fresh.st().Delta = 32767;
    fresh.st().CurR = {9, 9, 9};
    fresh.screen = FakeScreen(1920, 1080, rgb(255, 0, 0));
    fresh.tick();
    EXPECT_TRUE(fresh.controls.settingsMessage.starts_with("AUTO пропустил такт: 16-bit overflow")) << fresh.controls.settingsMessage;
    EXPECT_EQ(std::pair(fresh.st().CurR, fresh.st().FrameCount), std::pair(ZoneArray{9, 9, 9}, i16{2}));
}

TEST(ControllerModes, ButtonsAndPagesAreTwoFacesOfOneChoice)
{
    // A button, or the bus, chooses a mode by its number.
    const auto button = [](int mode) { return [mode](Rig& r) { r.controller.choose(mode); }; };
    const auto page = [](int p) { return [p](Rig& r) { r.controls.selectPage(p); }; };
    const auto fixed = button(kModeFixed), off = button(kModeOff);
    const struct { const char* what; std::vector<std::function<void(Rig&)>> acts; int mode, page, offTimes; } cases[] = {
        {"FIXED button", {fixed}, kModeFixed, 2, 0},       {"RND button", {button(kModeRnd)}, kModeRnd, 0, 0},
        {"AUTO button", {button(kModeAuto)}, kModeAuto, 1, 0}, {"OFF twice sends twice", {off, off}, kModeOff, 3, 2},
        {"RND page", {page(0)}, kModeRnd, 0, 0},           {"AUTO page", {page(1)}, kModeAuto, 1, 0},
        {"FIXED page", {page(2)}, kModeFixed, 2, 0},       {"FIXED then Help page", {fixed, page(3)}, kModeOff, 3, 1},
        {"AUTO then FIXED page", {page(1), page(2)}, kModeFixed, 2, 0},
        {"AUTO then OFF button, which keeps the page", {page(1), off}, kModeOff, 1, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Rig rig;
        for (const auto& act : c.acts)
            act(rig);
        // The screen knows when it is read.
        EXPECT_EQ(std::tuple(int(rig.st().Mode), rig.controls.page, rig.screen.active), std::tuple(c.mode, c.page, c.mode == kModeAuto));
        Bytes expected;
        for (int i = 0; i < c.offTimes; ++i)
            expected.insert(expected.end(), kOffPackets.begin(), kOffPackets.end());
        EXPECT_EQ(rig.take(), expected);
    }
}

// What the screen says shows as soon as AUTO is chosen or left (a desktop that asks the user, a
// capture closed), not only at the next screen tick.
TEST(ControllerModes, ChoosingOrLeavingAutoShowsTheCaptureStateAtOnce)
{
    Rig rig;
    const UserText asking{"Ждём разрешения", "waiting for permission"};
    rig.screen.screenProblem = asking;
    rig.controller.chooseAuto();
    rig.screen.screenProblem = {};
    rig.controller.chooseRnd();
    EXPECT_EQ(rig.controls.captureStates, (std::vector<UserText>{{}, asking, {}}));
}

TEST(ControllerSliders, MasterCopiesIntoItsOwnColourOnly)
{
    Rig rig;
    for (auto [channel, c] : {std::pair{Channel::Red, 0}, {Channel::Green, 1}, {Channel::Blue, 2}}) {
        rig.controls.sliders = {{{1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12}}};
        rig.controller.colourSliderMoved(channel, 2); // a zone slider moves alone
        EXPECT_EQ(rig.controls.sliders[static_cast<std::size_t>(c)][2], 4 * c + 3);
        rig.controller.colourSliderMoved(channel, 3);
        for (std::size_t other = 0; other < 3; ++other)
            for (std::size_t i = 0; i < 4; ++i)
                EXPECT_EQ(rig.controls.sliders[other][i], other == static_cast<std::size_t>(c) ? 4 * c + 4 : static_cast<int>(4 * other + i + 1));
    }
}

TEST(ControllerTimers, StatusShowsRateAndColoursScreenTickFollowsTheScreenAndReportsProblemsOnce)
{
    Rig rig;
    auto& st = rig.st();
    std::tie(st.CurR, st.CurG, st.CurB) = std::tuple(ZoneArray{1, 2, 3}, ZoneArray{4, 5, 6}, ZoneArray{7, 8, 9});
    rig.controller.chooseFixed();
    for (int i = 0; i < 32; ++i)
        rig.tick();
    rig.controller.statusTick();
    const StatusView& v = rig.controls.status;
    EXPECT_EQ((std::array<int, 9>{v.left[0], v.left[1], v.left[2], v.top[0], v.top[1], v.top[2], v.right[0], v.right[1], v.right[2]}),
              (std::array<int, 9>{1, 4, 7, 2, 5, 8, 3, 6, 9}));
    EXPECT_EQ(v.fps, "64");
    rig.controller.statusTick();
    EXPECT_EQ(rig.controls.status.fps, "0");
    Rig screenRig;
    screenRig.screen.screenSize = {1366, 768};
    screenRig.controls.resAuto = false;
    const auto resolution = [&] { return std::pair(screenRig.controls.texts[TextBox::ResX] + "x" + screenRig.controls.texts[TextBox::ResY], screenRig.st().ZoneX2); };
    screenRig.controller.screenTick();
    EXPECT_EQ(screenRig.screen.renewals, 2);
    EXPECT_EQ(resolution(), std::pair(std::string("1920x1080"), ZoneArray{640, 1915, 1915}));
    screenRig.controls.resAuto = true;
    screenRig.controller.screenTick();
    EXPECT_EQ(resolution(), std::pair(std::string("1366x768"), ZoneArray{455, 1361, 1361}));

    const UserText lost{"Не открыть дисплей X", "cannot open X display"};
    for (const UserText& problem : {lost, lost, UserText{}, UserText{}}) {
        screenRig.screen.screenProblem = problem;
        screenRig.controller.screenTick();
    }
    EXPECT_EQ(screenRig.controls.captureStates, (std::vector<UserText>{{}, lost, {}}));

    // A screen with no size yet (a stream before its first frame) is measured at its first frame,
    // not only at the next screen tick; a refused resolution keeps its message meanwhile.
    screenRig.screen.screenSize = {0, 0};
    screenRig.controller.screenTick();
    EXPECT_EQ(resolution(), std::pair(std::string("0x0"), ZoneArray{0, -5, -5}));
    screenRig.screen.screenSize = {1280, 1024};
    screenRig.tick();
    EXPECT_EQ(resolution(), std::pair(std::string("1280x1024"), ZoneArray{427, 1275, 1275}));
    // A detected width the zones cannot take is refused, naming its box; the good size after it
    // says nothing, so the refusal stays on the page until read.
    screenRig.screen.screenSize = {40000, 1024};
    screenRig.controller.screenTick();
    screenRig.screen.screenSize = {1280, 1024};
    screenRig.controller.screenTick();
    ASSERT_EQ(screenRig.controls.resolutionMessages.size(), 1u);
    EXPECT_TRUE(screenRig.controls.resolutionMessages[0].starts_with("Ширина")) << screenRig.controls.resolutionMessages[0];
}

// On a line too slow for every tick, a tick that cannot go out does not happen: the board sees
// exactly the zone colours of a run on a free line, only fewer per second, and the rate counts
// only the ticks sent.
TEST(ControllerLink, ABusyLineSkipsWholeTicksAndAReturningBoardIsSwitchedOffInOffMode)
{
    const auto zoneRed = [](const Bytes& wire) {
        std::vector<int> reds;
        for (std::size_t i = 0; i + 5 <= wire.size(); i += 5)
            if (wire[i] == 0)
                reds.push_back(wire[i + 1]);
        return reds;
    };
    for (const bool rnd : {true, false})
        for (const int speed : {1, 5}) {
            SCOPED_TRACE(testing::Message() << (rnd ? "RND" : "AUTO") << ", speed " << speed);
            Rig busy, free;
            for (Rig* rig : {&busy, &free}) {
                rig->st().TargetR = {250, 250, 250};
                rig->st().CurR = {0, 3, 5};
                rig->controls.speed = speed;
                rnd ? rig->controller.chooseRnd() : rig->controller.chooseAuto();
                rig->take();
            }
            for (int i = 0; i < 40; ++i) {
                busy.clock.advance(std::chrono::milliseconds(5)); // the line carries half a tick
                busy.controller.outputTick();
                free.tick();
            }
            const Bytes wire = busy.take();
            const auto sent = zoneRed(wire);
            EXPECT_GT(busy.link.skippedTicks(), 10u);
            EXPECT_LE(wire.size(), 384u + 30u); // 200 ms of line time, the bound and one tick
            EXPECT_EQ(busy.st().FrameCount, static_cast<int>(wire.size() / 20));
            auto expected = zoneRed(free.take());
            expected.resize(sent.size());
            EXPECT_EQ(sent, expected);
            for (std::size_t k = 1; rnd && k < sent.size(); ++k)
                EXPECT_EQ(sent[k] - sent[k - 1], speed);
        }
    for (const bool fixed : {false, true}) {
        Rig rig;
        if (fixed)
            rig.controller.chooseFixed();
        rig.line.failWrites = true;
        rig.tick();
        EXPECT_FALSE(rig.controls.linkState.empty());
        rig.clock.advance(std::chrono::seconds(2));
        rig.take();
        rig.controller.outputTick(); // reopens
        EXPECT_TRUE(rig.controls.linkState.empty());
        EXPECT_EQ(rig.take(), fixed ? concat({keyboardPacket(0), zonePacket(0, 0, 0, 0), zonePacket(1, 0, 0, 0), zonePacket(2, 0, 0, 0)})
                                    : concat({offPacket(0), offPacket(1), offPacket(2), keyboardPacket(0)}));
    }
}

// The session darkens the lamps: zones off and the keyboard at 0, once, whatever else is said;
// nothing goes out while any reason holds; when the last one ends the mode goes on as it was.
TEST(ControllerSession, DarkWhileAnyReasonHoldsThenTheModeGoesOn)
{
    const Bytes dark = concat({offPacket(0), offPacket(1), offPacket(2), keyboardPacket(0)});
    const Bytes fixedTick = concat({keyboardPacket(200), zonePacket(0, 10, 20, 30), zonePacket(1, 0, 0, 0), zonePacket(2, 0, 0, 0)});
    using P = PauseReason;
    // One event each: pause or resume a reason; then what the line got from it and the tick after
    // it, and the word the status display shows.
    struct Step { bool pause; P reason; Bytes wire; const char* status; };
    const struct { const char* name; bool keepLit; int mode; std::vector<Step> steps; } cases[] = {
        {"a lock during sleep outlasts it", false, kModeFixed,
         {{true, P::Sleep, dark, "сон"}, {true, P::Locked, {}, "сон"}, {false, P::Sleep, {}, "замок"}, {false, P::Locked, fixedTick, "2"}}},
        {"shut-down, then cancelled, in OFF", false, kModeOff,
         {{true, P::Shutdown, dark, "выкл."}, {false, P::Shutdown, concat({offPacket(0), offPacket(1), offPacket(2), keyboardPacket(200)}), "2"}}},
        {"kept lit when locked", true, kModeFixed,
         {{true, P::Locked, fixedTick, "2"}, {true, P::Sleep, dark, "сон"}, {false, P::Sleep, fixedTick, "2"}, {false, P::Locked, fixedTick, "2"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.controller.keepLitWhenLocked(c.keepLit);
        rig.controls.sliders[0][0] = 10, rig.controls.sliders[1][0] = 20, rig.controls.sliders[2][0] = 30;
        rig.controls.keyboard = 200;
        rig.controller.choose(c.mode);
        rig.tick();
        rig.take();
        rig.controller.statusTick();
        for (std::size_t i = 0; i < c.steps.size(); ++i) {
            const Step& step = c.steps[i];
            SCOPED_TRACE(i);
            // A line that takes nothing at first: going dark waits until it has taken everything.
            if (step.wire == dark)
                rig.line.accepts = {0, 0, 0, 0};
            step.pause ? rig.controller.pause(step.reason) : rig.controller.resume(step.reason);
            Bytes wire = rig.take();
            EXPECT_TRUE(step.wire != dark || wire == dark) << "carried before going dark returns";
            rig.tick();
            const Bytes after = rig.take();
            wire.insert(wire.end(), after.begin(), after.end());
            EXPECT_EQ(wire, step.wire);
            rig.controller.statusTick();
            EXPECT_EQ(rig.controls.status.fps, step.status);
            EXPECT_EQ(rig.controls.pauseState.empty(), std::string(step.status) == "2");
        }
        EXPECT_EQ(rig.st().Mode, c.mode);
    }
}

// After hibernation the wake may go unannounced: the jump of the time spent suspended lights the
// lamps at the next tick, once; a board that comes back while they are dark is darkened first.
TEST(ControllerSession, AnUnannouncedWakeIsNoticedAndAReturningBoardIsDarkened)
{
    std::chrono::nanoseconds suspended{std::chrono::seconds(30)};
    Rig rig([&] { return suspended; });
    rig.controller.chooseRnd();
    rig.line.failWrites = true; // the adapter goes away before the night
    rig.tick();
    rig.controller.pause(PauseReason::Sleep);
    suspended += std::chrono::milliseconds(999);
    rig.tick();
    EXPECT_FALSE(rig.controller.takeUnannouncedWake());
    rig.clock.advance(std::chrono::seconds(2));
    rig.take();
    rig.tick(); // the board is back, the lamps still dark
    EXPECT_EQ(rig.take(), concat({offPacket(0), offPacket(1), offPacket(2), keyboardPacket(0)}));
    EXPECT_TRUE(rig.controller.dark());

    suspended += std::chrono::seconds(3600);
    rig.tick();
    EXPECT_TRUE(rig.controller.takeUnannouncedWake());
    EXPECT_FALSE(rig.controller.takeUnannouncedWake());
    EXPECT_EQ(rig.take().size(), 20u) << "a whole RND tick";
    rig.controller.resume(PauseReason::Sleep); // the late announcement changes nothing
    rig.tick();
    EXPECT_FALSE(rig.controller.takeUnannouncedWake());
    EXPECT_EQ(rig.take().size(), 20u);
}

} // namespace
} // namespace lumora::test
