// The controller through its handlers: start-up, the mode machine, the output and status ticks,
// the master sliders, the screen tick and shut-down, with fake controls, line, clock and screen.
#include "core_fakes.hpp"

namespace lumora::test {
namespace {

const Bytes kOffPackets = concat({offPacket(0), offPacket(1), offPacket(2)});

struct Rig {
    Rig()
    {
        controls.onPageChange = [this] { controller.pageSelected(); };
        controller.start();
    }

    // One output tick, far enough after the last one that the line has caught up.
    void tick()
    {
        clock.advance(std::chrono::milliseconds(20));
        controller.outputTick();
    }

    // The bytes written since the last call.
    Bytes take()
    {
        Bytes out;
        std::swap(out, line.written);
        return out;
    }

    std::vector<int> channelsOfNextTick()
    {
        take();
        tick();
        std::vector<int> channels;
        const Bytes sent = take();
        for (std::size_t i = 0; i < sent.size(); i += 5)
            channels.push_back(sent[i]);
        return channels;
    }

    FakeControls controls;
    FakeLine line;
    FakeClock clock;
    LampLink link{line, clock, [this](const std::string& m) { controls.showLinkState(m); }};
    UniformScreen screen;
    CyclingRandom random;
    Controller controller{controls, link, screen, random};
};

TEST(ControllerStartup, AppliesSettingsOpensPortReadsScreenAndStaysOff)
{
    Rig rig;
    const auto& st = rig.controller.state();
    EXPECT_EQ((std::array<int, 5>{st.StepX, st.StepY, st.Delta, st.Min1, st.Min2}), (std::array<int, 5>{25, 50, 30, 50, 100}));
    EXPECT_EQ(rig.line.opens, 1);
    EXPECT_EQ(rig.controls.texts[TextBox::ResX] + "x" + rig.controls.texts[TextBox::ResY], "1920x1080");
    EXPECT_EQ(st.ZoneX1[2], 1280);
    EXPECT_EQ(st.Mode, kModeOff);
    EXPECT_EQ(rig.controls.page, 3);

    FakeControls controls;
    FakeLine line;
    line.openFailures = 1;
    FakeClock clock;
    LampLink link{line, clock};
    EXPECT_THROW(Controller(controls, link, rig.screen, rig.random).start(), LinkError);
}

TEST(ControllerTick, OffSendsOnlyKeyboardPacketsAndWorkingModesAddTheZonesInOrder)
{
    Rig rig;
    rig.controls.keyboard = 200;
    for (int i = 0; i < 5; ++i)
        rig.tick();
    EXPECT_EQ(rig.take(), concat({keyboardPacket(200), keyboardPacket(200), keyboardPacket(200), keyboardPacket(200),
                                  keyboardPacket(200)}));
    EXPECT_EQ(rig.controller.state().FrameCount, 5);

    for (auto command : {&Controller::chooseFixed, &Controller::chooseRnd, &Controller::chooseAuto}) {
        (rig.controller.*command)();
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(rig.channelsOfNextTick(), (std::vector<int>{3, 0, 1, 2}));
    }
    rig.controller.chooseOff();
    EXPECT_EQ(rig.channelsOfNextTick(), std::vector<int>{3});
}

TEST(ControllerTick, FixedSendsTheZoneSlidersAsReadAndLeavesCurrentColours)
{
    Rig rig;
    rig.controller.state().CurR = {7, 8, 9};
    rig.controls.sliders = {{{10, 40, 70, 250}, {20, 50, 80, 250}, {30, 60, 13, 250}}};
    rig.controller.chooseFixed();
    rig.tick();
    // A level of 13 goes out as it is.
    EXPECT_EQ(rig.take(), concat({keyboardPacket(0), zonePacket(0, 10, 20, 30), zonePacket(1, 40, 50, 60),
                                  zonePacket(2, 70, 80, 13)}));
    EXPECT_EQ(rig.controller.state().CurR, (ZoneArray{7, 8, 9}));
}

TEST(ControllerTick, ZoneSendStepClampsAndStores)
{
    Rig rig;
    auto& st = rig.controller.state();
    // Targets equal to the current colours: the fade does not move them, the send step clamps.
    st.CurG[1] = st.TargetG[1] = -7;
    st.CurR[0] = st.TargetR[0] = 300;
    rig.controls.speed = 5;
    rig.controller.chooseRnd();
    rig.tick();
    EXPECT_EQ(rig.take(), concat({keyboardPacket(0), zonePacket(0, 255, 0, 0), zonePacket(1, 0, 0, 0), zonePacket(2, 0, 0, 0)}));
    EXPECT_EQ(st.CurR[0], 255);
    EXPECT_EQ(st.CurG[1], 0);
}

// On a line too slow for every tick, a tick that cannot go out does not happen: the board sees
// exactly the zone colours of a run on a free line, only fewer per second, and the rate counts
// only the ticks sent.
TEST(ControllerTick, ABusyLineSkipsWholeTicks)
{
    const auto zoneRed = [](const Bytes& wire, int zone) {
        std::vector<int> reds;
        for (std::size_t i = 0; i + 5 <= wire.size(); i += 5)
            if (wire[i] == zone)
                reds.push_back(wire[i + 1]);
        return reds;
    };
    for (int mode : {kModeRnd, kModeAuto})
        for (int speed : {1, 5}) {
            SCOPED_TRACE(testing::Message() << "mode " << mode << ", speed " << speed);
            Rig busy, free;
            for (Rig* rig : {&busy, &free}) {
                auto& st = rig->controller.state();
                st.TargetR = {250, 250, 250};
                st.CurR = {0, 3, 5};
                rig->controls.speed = speed;
                mode == kModeRnd ? rig->controller.chooseRnd() : rig->controller.chooseAuto();
                rig->take();
            }
            for (int i = 0; i < 40; ++i) {
                busy.clock.advance(std::chrono::milliseconds(5)); // the line carries half a tick
                busy.controller.outputTick();
                free.tick();
            }
            const Bytes wire = busy.take();
            const auto sent = zoneRed(wire, 0);
            EXPECT_GT(busy.link.skippedTicks(), 10u);
            EXPECT_LE(wire.size(), 384u + 30u); // 200 ms of line time, the bound and one tick
            EXPECT_EQ(busy.controller.state().FrameCount, static_cast<int>(wire.size() / 20));
            auto expected = zoneRed(free.take(), 0);
            expected.resize(sent.size());
            EXPECT_EQ(sent, expected);
            if (mode == kModeRnd) {
                for (std::size_t k = 1; k < sent.size(); ++k)
                    EXPECT_EQ(sent[k] - sent[k - 1], speed);
            }
        }
}

TEST(ControllerModes, ButtonsAndPagesAreTwoFacesOfOneChoice)
{
    const auto fixed = [](Rig& r) { r.controller.chooseFixed(); };
    const auto off = [](Rig& r) { r.controller.chooseOff(); };
    const auto page = [](int p) { return [p](Rig& r) { r.controls.selectPage(p); }; };
    const struct {
        const char* what;
        std::vector<std::function<void(Rig&)>> acts;
        int mode, page, offTimes;
    } cases[] = {
        {"FIXED button", {fixed}, kModeFixed, 2, 0},
        {"RND button", {[](Rig& r) { r.controller.chooseRnd(); }}, kModeRnd, 0, 0},
        {"AUTO button", {[](Rig& r) { r.controller.chooseAuto(); }}, kModeAuto, 1, 0},
        {"OFF button keeps the page", {off}, kModeOff, 3, 1},
        {"RND page", {page(0)}, kModeRnd, 0, 0},
        {"AUTO page", {page(1)}, kModeAuto, 1, 0},
        {"FIXED page", {page(2)}, kModeFixed, 2, 0},
        {"FIXED then OFF button", {fixed, off}, kModeOff, 2, 1},
        {"FIXED then Help page", {fixed, page(3)}, kModeOff, 3, 1},
        {"OFF twice sends twice", {off, off}, kModeOff, 3, 2},
        {"FIXED, OFF, then Help page", {fixed, off, page(3)}, kModeOff, 3, 2},
        {"AUTO then FIXED page", {page(1), page(2)}, kModeFixed, 2, 0},
        {"AUTO then OFF button", {page(1), off}, kModeOff, 1, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Rig rig;
        for (const auto& act : c.acts)
            act(rig);
        EXPECT_EQ(rig.controller.state().Mode, c.mode);
        EXPECT_EQ(rig.controls.page, c.page);
        EXPECT_EQ(rig.screen.active, c.mode == kModeAuto); // the screen knows when it is read
        Bytes expected;
        for (int i = 0; i < c.offTimes; ++i)
            expected.insert(expected.end(), kOffPackets.begin(), kOffPackets.end());
        EXPECT_EQ(rig.take(), expected);
    }
}

TEST(ControllerModes, ReturningToAutoContinuesFromTheLastColours)
{
    Rig rig;
    auto& st = rig.controller.state();
    st.CurR = st.CurG = st.CurB = ZoneArray{100, 100, 100};
    for (auto command : {&Controller::chooseFixed, &Controller::chooseOff, &Controller::chooseAuto}) {
        (rig.controller.*command)();
        rig.tick();
    }
    // Half-way from 100 toward the white targets 280, 178, 204.
    EXPECT_EQ(st.CurR[0], 190);
    EXPECT_EQ(st.CurG[0], 139);
    EXPECT_EQ(st.CurB[0], 152);
}

TEST(ControllerShutdown, SendsTheOffPacketsThenClosesAndNothingFollows)
{
    Rig rig;
    rig.controls.keyboard = 9;
    rig.controller.chooseFixed();
    rig.tick();
    rig.take();
    rig.controller.close();
    EXPECT_EQ(rig.take(), kOffPackets);
    EXPECT_EQ(rig.controller.state().Mode, kModeOff);
    EXPECT_FALSE(rig.line.isOpen());
}

TEST(ControllerSliders, MasterCopiesIntoItsOwnColourOnly)
{
    Rig rig;
    rig.controls.sliders[0] = {1, 2, 3, 200};
    rig.controls.sliders[1] = {4, 5, 6, 150};
    rig.controller.colourSliderMoved(Channel::Red, 3);
    EXPECT_EQ(rig.controls.sliders[0], (std::array<int, 4>{200, 200, 200, 200}));
    EXPECT_EQ(rig.controls.sliders[1], (std::array<int, 4>{4, 5, 6, 150}));
    // A zone slider moves alone and leaves the master where it was.
    rig.controls.sliders[1][1] = 99;
    rig.controller.colourSliderMoved(Channel::Green, 1);
    EXPECT_EQ(rig.controls.sliders[1], (std::array<int, 4>{4, 99, 6, 150}));
}

TEST(ControllerStatus, ShowsTwiceTheTickCountAndTheCurrentColours)
{
    Rig rig;
    auto& st = rig.controller.state();
    st.CurR = {1, 2, 3};
    st.CurG = {4, 5, 6};
    st.CurB = {7, 8, 9};
    rig.controller.chooseFixed();
    for (int i = 0; i < 32; ++i)
        rig.tick();
    rig.controller.statusTick();
    EXPECT_EQ(rig.controls.status.fps, "64");
    EXPECT_EQ(rig.controls.status.left[0], 1);
    EXPECT_EQ(rig.controls.status.top[1], 5);
    EXPECT_EQ(rig.controls.status.right[2], 9);
    rig.controller.statusTick();
    EXPECT_EQ(rig.controls.status.fps, "0");
}

TEST(ControllerScreenTick, RenewsAlwaysAndFollowsTheResolutionOnlyWhenChecked)
{
    Rig rig;
    const int renewals = rig.screen.renewals;
    rig.screen.screenSize = {1366, 768};
    rig.controls.resAuto = false;
    rig.controller.screenTick();
    EXPECT_EQ(rig.screen.renewals, renewals + 1);
    EXPECT_EQ(rig.controls.texts[TextBox::ResX], "1920");
    EXPECT_EQ(rig.controller.state().ZoneX2[0], 640);

    rig.controls.resAuto = true;
    rig.controller.screenTick();
    EXPECT_EQ(rig.screen.renewals, renewals + 2);
    EXPECT_EQ(rig.controls.texts[TextBox::ResX], "1366");
    EXPECT_EQ(rig.controls.texts[TextBox::ResY], "768");
    EXPECT_EQ(rig.controller.state().ZoneX2[0], 455);
}

TEST(ControllerScreenTick, AScreenWithoutASizeIsMeasuredAtItsFirstFrame)
{
    Rig rig;
    rig.screen.screenSize = {0, 0}; // a stream that has sent no frame yet
    rig.controller.screenTick();
    EXPECT_EQ(rig.controls.texts[TextBox::ResX] + "x" + rig.controls.texts[TextBox::ResY], "0x0");
    rig.tick();
    EXPECT_EQ(rig.controller.state().ZoneX2[1], -5);
    rig.screen.screenSize = {1366, 768};
    rig.tick();
    EXPECT_EQ(rig.controls.texts[TextBox::ResX] + "x" + rig.controls.texts[TextBox::ResY], "1366x768");
    EXPECT_EQ(rig.controller.state().ZoneX2[1], 1361);
}

TEST(ControllerScreenTick, ReportsACaptureProblemOncePerChange)
{
    Rig rig;
    rig.screen.screenProblem = {"Не открыть дисплей X", "cannot open X display"};
    rig.controller.screenTick();
    EXPECT_EQ(rig.controls.captureState.en, "cannot open X display");
    const int reports = rig.controls.captureReports;
    rig.controller.screenTick();
    EXPECT_EQ(rig.controls.captureReports, reports);
    rig.screen.screenProblem = {};
    rig.controller.screenTick();
    EXPECT_TRUE(rig.controls.captureState.empty());
}

TEST(ControllerLink, BoardComingBackInOffModeIsSwitchedOffAgain)
{
    Rig rig;
    rig.line.failWrites = true;
    rig.tick();
    EXPECT_FALSE(rig.controls.linkState.empty());
    rig.clock.advance(std::chrono::seconds(2));
    rig.take();
    rig.controller.outputTick(); // reopens
    EXPECT_EQ(rig.controls.linkState, "");
    EXPECT_EQ(rig.take(), concat({offPacket(0), offPacket(1), offPacket(2), keyboardPacket(0)}));
}

} // namespace
} // namespace lumora::test
