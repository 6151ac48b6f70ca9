// The controller through its handlers: start-up, the mode machine, the output and status ticks,
// the master sliders, the screen tick and shut-down, with fake controls, line, clock and screen.
#include "core_fakes.hpp"

namespace lumora::test {
namespace {

struct Rig {
    Rig()
    {
        controls.onPageChange = [this] { controller.Tab1_Click(); };
    }

    void start() { controller.Form_Load(); }

    // One output tick, far enough after the last one that the line has caught up.
    void tick()
    {
        clock.advance(std::chrono::milliseconds(20));
        controller.Timer1_Timer();
    }

    // The packets written since `from` bytes.
    std::vector<Packet> packetsFrom(std::size_t from) const
    {
        std::vector<Packet> out;
        EXPECT_EQ((line.written.size() - from) % 5, 0u);
        for (std::size_t i = from; i + 5 <= line.written.size(); i += 5)
            out.push_back({line.written[i], line.written[i + 1], line.written[i + 2], line.written[i + 3], line.written[i + 4]});
        return out;
    }

    std::vector<int> channelsOfNextTick()
    {
        const auto mark = line.written.size();
        tick();
        std::vector<int> channels;
        for (const auto& p : packetsFrom(mark))
            channels.push_back(p[0]);
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
    rig.start();
    const auto& st = rig.controller.state();
    EXPECT_EQ(st.StepX, 25);
    EXPECT_EQ(st.StepY, 50);
    EXPECT_EQ(st.Delta, 30);
    EXPECT_EQ(st.Min1, 50);
    EXPECT_EQ(st.Min2, 100);
    EXPECT_EQ(rig.line.opens, 1);
    EXPECT_EQ(rig.controls.texts[TextBox::ResX], "1920");
    EXPECT_EQ(rig.controls.texts[TextBox::ResY], "1080");
    EXPECT_EQ(st.ZoneX2[0], 640);
    EXPECT_EQ(st.ZoneX1[2], 1280);
    EXPECT_EQ(st.ZoneY2[1], 360);
    EXPECT_EQ(st.Mode, kModeOff);
    EXPECT_EQ(rig.controls.page, 3);
    EXPECT_GE(rig.screen.renewals, 1);
}

TEST(ControllerStartup, PortThatCannotBeOpenedIsAnError)
{
    Rig rig;
    rig.line.openFailures = 1;
    EXPECT_THROW(rig.start(), LinkError);
}

TEST(ControllerStartup, FirstTicksSendOnlyKeyboardPacketsAndCountThemselves)
{
    Rig rig;
    rig.start();
    rig.controls.keyboard = 200;
    for (int i = 0; i < 5; ++i)
        rig.tick();
    const auto sent = rig.packetsFrom(0);
    ASSERT_EQ(sent.size(), 5u);
    for (const auto& p : sent)
        EXPECT_EQ(p, keyboardPacket(200));
    EXPECT_EQ(rig.controller.state().FrameCount, 5);
}

TEST(ControllerTick, EveryWorkingModeSendsKeyboardThenZonesInOrder)
{
    for (auto command : {&Controller::cmdFIXED_Click, &Controller::cmdRND_Click, &Controller::cmdAuto_Click}) {
        Rig rig;
        rig.start();
        (rig.controller.*command)();
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(rig.channelsOfNextTick(), (std::vector<int>{3, 0, 1, 2}));
    }
    Rig off;
    off.start();
    off.controller.cmdOFF_Click();
    EXPECT_EQ(off.channelsOfNextTick(), std::vector<int>{3});
}

TEST(ControllerTick, FixedSendsTheZoneSlidersAsReadAndLeavesCurrentColours)
{
    Rig rig;
    rig.start();
    rig.controller.state().CurR = {7, 8, 9};
    rig.controls.sliders[0] = {10, 40, 70, 250};
    rig.controls.sliders[1] = {20, 50, 80, 250};
    rig.controls.sliders[2] = {30, 60, 13, 250};
    rig.controller.cmdFIXED_Click();
    const auto mark = rig.line.written.size();
    rig.tick();
    const auto sent = rig.packetsFrom(mark);
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(sent[1], zonePacket(0, 10, 20, 30));
    EXPECT_EQ(sent[2], zonePacket(1, 40, 50, 60));
    EXPECT_EQ(sent[3], zonePacket(2, 70, 80, 13)); // a level of 13 goes out as is
    EXPECT_EQ(rig.controller.state().CurR, (ZoneArray{7, 8, 9}));
}

TEST(ControllerTick, ZoneSendStepClampsAndStores)
{
    Rig rig;
    rig.start();
    auto& st = rig.controller.state();
    // Targets equal to the current colours: the fade does not move them, the send step clamps.
    st.CurG[1] = st.TargetG[1] = -7;
    st.CurR[0] = st.TargetR[0] = 300;
    rig.controls.speed = 5;
    rig.controller.cmdRND_Click();
    const auto mark = rig.line.written.size();
    rig.tick();
    const auto sent = rig.packetsFrom(mark);
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(sent[1], zonePacket(0, 255, 0, 0));
    EXPECT_EQ(sent[2], zonePacket(1, 0, 0, 0));
    EXPECT_EQ(st.CurR[0], 255);
    EXPECT_EQ(st.CurG[1], 0);
}

TEST(ControllerTick, AutoOnWhiteSettlesAtTheCorrectedWhite)
{
    Rig rig;
    rig.start();
    rig.controller.cmdAuto_Click();
    for (int i = 0; i < 12; ++i)
        rig.tick();
    const auto& st = rig.controller.state();
    for (int zone = 0; zone < 3; ++zone) {
        SCOPED_TRACE(zone);
        const auto i = static_cast<std::size_t>(zone);
        EXPECT_EQ(st.CurR[i], 255);
        EXPECT_EQ(st.CurG[i], 178);
        EXPECT_EQ(st.CurB[i], 204);
    }
    EXPECT_EQ(rig.screen.captures, 12);
}

TEST(ControllerModes, ButtonsAndPagesAreTwoFacesOfOneChoice)
{
    struct Case {
        const char* what;
        std::function<void(Rig&)> act;
        int mode;
        int page;
        int offPackets;
    };
    const std::vector<Case> cases = {
        {"FIXED button", [](Rig& r) { r.controller.cmdFIXED_Click(); }, kModeFixed, 2, 0},
        {"RND button", [](Rig& r) { r.controller.cmdRND_Click(); }, kModeRnd, 0, 0},
        {"AUTO button", [](Rig& r) { r.controller.cmdAuto_Click(); }, kModeAuto, 1, 0},
        {"OFF button keeps the page", [](Rig& r) { r.controller.cmdOFF_Click(); }, kModeOff, 3, 3},
        {"RND page", [](Rig& r) { r.controls.selectPage(0); }, kModeRnd, 0, 0},
        {"AUTO page", [](Rig& r) { r.controls.selectPage(1); }, kModeAuto, 1, 0},
        {"FIXED page", [](Rig& r) { r.controls.selectPage(2); }, kModeFixed, 2, 0},
        {"FIXED then OFF button", [](Rig& r) { r.controller.cmdFIXED_Click(); r.controller.cmdOFF_Click(); }, kModeOff, 2, 3},
        {"FIXED then Help page", [](Rig& r) { r.controller.cmdFIXED_Click(); r.controls.selectPage(3); }, kModeOff, 3, 3},
        {"OFF twice sends twice", [](Rig& r) { r.controller.cmdOFF_Click(); r.controller.cmdOFF_Click(); }, kModeOff, 3, 6},
        {"FIXED, OFF, then Help page", [](Rig& r) {
             r.controller.cmdFIXED_Click();
             r.controller.cmdOFF_Click();
             r.controls.selectPage(3);
         }, kModeOff, 3, 6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Rig rig;
        rig.start();
        const auto mark = rig.line.written.size();
        c.act(rig);
        EXPECT_EQ(rig.controller.state().Mode, c.mode);
        EXPECT_EQ(rig.controls.page, c.page);
        const auto sent = rig.packetsFrom(mark);
        ASSERT_EQ(static_cast<int>(sent.size()), c.offPackets);
        for (std::size_t i = 0; i < sent.size(); ++i)
            EXPECT_EQ(sent[i], offPacket(static_cast<int>(i % 3)));
    }
}

TEST(ControllerModes, OffCommandWritesExactlyFifteenBytes)
{
    Rig rig;
    rig.start();
    rig.controller.cmdAuto_Click();
    const auto mark = rig.line.written.size();
    rig.controller.cmdOFF_Click();
    EXPECT_EQ(Bytes(rig.line.written.begin() + static_cast<long>(mark), rig.line.written.end()),
              (Bytes{0, 0, 0, 0, 13, 1, 0, 0, 0, 13, 2, 0, 0, 0, 13}));
}

TEST(ControllerModes, ReturningToAutoContinuesFromTheLastColours)
{
    Rig rig;
    rig.start();
    auto& st = rig.controller.state();
    st.CurR = {100, 100, 100};
    st.CurG = {100, 100, 100};
    st.CurB = {100, 100, 100};
    rig.controller.cmdFIXED_Click();
    rig.tick();
    rig.controller.cmdOFF_Click();
    rig.tick();
    rig.controller.cmdAuto_Click();
    rig.tick();
    // Half-way from 100 toward the white targets 280, 178, 204.
    EXPECT_EQ(st.CurR[0], 190);
    EXPECT_EQ(st.CurG[0], 139);
    EXPECT_EQ(st.CurB[0], 152);
}

TEST(ControllerShutdown, SendsTheOffPacketsThenClosesAndNothingFollows)
{
    Rig rig;
    rig.start();
    rig.controls.keyboard = 9;
    rig.controller.cmdFIXED_Click();
    rig.tick();
    const auto mark = rig.line.written.size();
    rig.controller.Form_Unload();
    EXPECT_EQ(Bytes(rig.line.written.begin() + static_cast<long>(mark), rig.line.written.end()),
              (Bytes{0, 0, 0, 0, 13, 1, 0, 0, 0, 13, 2, 0, 0, 0, 13}));
    EXPECT_EQ(rig.controller.state().Mode, kModeOff);
    EXPECT_FALSE(rig.line.isOpen());
}

TEST(ControllerSliders, MasterCopiesIntoItsOwnColourOnly)
{
    Rig rig;
    rig.start();
    rig.controls.sliders[0] = {1, 2, 3, 200};
    rig.controls.sliders[1] = {4, 5, 6, 150};
    rig.controller.slR_Scroll(3);
    EXPECT_EQ(rig.controls.sliders[0], (std::array<int, 4>{200, 200, 200, 200}));
    EXPECT_EQ(rig.controls.sliders[1], (std::array<int, 4>{4, 5, 6, 150}));

    // A zone slider moves alone and leaves the master where it was.
    rig.controls.sliders[1][1] = 99;
    rig.controller.slG_Scroll(1);
    EXPECT_EQ(rig.controls.sliders[1], (std::array<int, 4>{4, 99, 6, 150}));

    // The copy sets every zone back to the master, whatever they held.
    rig.controller.slG_Scroll(3);
    EXPECT_EQ(rig.controls.sliders[1], (std::array<int, 4>{150, 150, 150, 150}));
}

TEST(ControllerStatus, ShowsTwiceTheTickCountAndTheCurrentColours)
{
    Rig rig;
    rig.start();
    auto& st = rig.controller.state();
    st.CurR = {1, 2, 3};
    st.CurG = {4, 5, 6};
    st.CurB = {7, 8, 9};
    rig.controller.cmdFIXED_Click();
    for (int i = 0; i < 32; ++i)
        rig.tick();
    rig.controller.Timer2_Timer();
    EXPECT_EQ(rig.controls.status.fps, "64");
    EXPECT_EQ(rig.controls.status.left[0], 1);
    EXPECT_EQ(rig.controls.status.top[1], 5);
    EXPECT_EQ(rig.controls.status.right[2], 9);
    EXPECT_EQ(st.FrameCount, 0);
    rig.controller.Timer2_Timer();
    EXPECT_EQ(rig.controls.status.fps, "0");
}

TEST(ControllerScreenTick, RenewsCaptureAndFollowsResolutionOnlyWhenChecked)
{
    Rig rig;
    rig.start();
    const int renewals = rig.screen.renewals;
    rig.controls.texts[TextBox::ResX] = "1280";
    rig.controls.texts[TextBox::ResY] = "1024";
    rig.controller.cmdSet_Click();
    EXPECT_EQ(rig.controller.state().ZoneX2[0], 427);

    rig.controls.resAuto = false;
    rig.controller.Timer4_Timer();
    EXPECT_EQ(rig.screen.renewals, renewals + 1);
    EXPECT_EQ(rig.controls.texts[TextBox::ResX], "1280");
    EXPECT_EQ(rig.controller.state().ZoneX2[0], 427);

    rig.controls.resAuto = true;
    rig.screen.screenSize = {1366, 768};
    rig.controller.Timer4_Timer();
    EXPECT_EQ(rig.screen.renewals, renewals + 2);
    EXPECT_EQ(rig.controls.texts[TextBox::ResX], "1366");
    EXPECT_EQ(rig.controls.texts[TextBox::ResY], "768");
    EXPECT_EQ(rig.controller.state().ZoneX2[0], 455);
}

TEST(ControllerScreenTick, ReportsACaptureProblemOncePerChange)
{
    Rig rig;
    rig.screen.screenProblem = "cannot open X display";
    rig.start();
    EXPECT_EQ(rig.controls.captureState, "cannot open X display");
    const int reports = rig.controls.captureReports;
    rig.controller.Timer4_Timer();
    EXPECT_EQ(rig.controls.captureReports, reports);
    rig.screen.screenProblem.clear();
    rig.controller.Timer4_Timer();
    EXPECT_EQ(rig.controls.captureState, "");
}

TEST(ControllerLink, BoardComingBackInOffModeIsSwitchedOffAgain)
{
    Rig rig;
    rig.start();
    rig.line.failWrites = true;
    rig.tick();
    EXPECT_FALSE(rig.link.connected());
    EXPECT_FALSE(rig.controls.linkState.empty());
    rig.clock.advance(std::chrono::seconds(2));
    const auto mark = rig.line.written.size();
    rig.controller.Timer1_Timer(); // reopens
    EXPECT_TRUE(rig.link.connected());
    EXPECT_EQ(rig.controls.linkState, "");
    const auto sent = rig.packetsFrom(mark);
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(sent[0], offPacket(0));
    EXPECT_EQ(sent[3], keyboardPacket(0));
}

} // namespace
} // namespace lumora::test
