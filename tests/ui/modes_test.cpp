// The mode buttons and the tab pages as two faces of one choice, the opening state, and the
// keyboard's way through the window.
#include <QPushButton>

#include "window_fixture.hpp"

namespace lumora::test {
namespace {

using PacketList = std::vector<std::vector<std::uint8_t>>;

const PacketList kOffPackets = {bytes(offPacket(0)), bytes(offPacket(1)), bytes(offPacket(2))};

class ModeTest : public WindowTest {
protected:
    ModeTest()
    {
        freezeTimers();
        showWindow();
    }
    i16 mode() { return state().Mode; }
};

TEST_F(ModeTest, OpensOnHelpInOffWithoutRunningThePageHandler)
{
    EXPECT_EQ(tab()->currentIndex(), 3);
    EXPECT_EQ(mode(), kModeOff);
    EXPECT_TRUE(line.written.empty()) << "showing the Help page at start sends no off packets";
}

struct ButtonRow {
    const char* button;
    i16 mode;
    int page;
};

TEST_F(ModeTest, EachModeButtonSetsItsModeAndSelectsItsPage)
{
    const ButtonRow rows[] = {{"cmdFIXED", kModeFixed, 2}, {"cmdRND", kModeRnd, 0}, {"cmdAuto", kModeAuto, 1},
                              {"cmdFIXED", kModeFixed, 2}, {"cmdAuto", kModeAuto, 1}};
    for (const ButtonRow& row : rows) {
        SCOPED_TRACE(row.button);
        click(row.button);
        EXPECT_EQ(mode(), row.mode);
        EXPECT_EQ(tab()->currentIndex(), row.page);
        EXPECT_TRUE(tab()->page(row.page)->isVisible());
        EXPECT_TRUE(takePackets().empty()) << "no mode but OFF sends anything by itself";
    }
}

TEST_F(ModeTest, OffButtonSendsOffPacketsAndKeepsThePage)
{
    click("cmdFIXED");
    takePackets();
    click("cmdOFF");
    EXPECT_EQ(mode(), kModeOff);
    EXPECT_EQ(tab()->currentIndex(), 2);
    EXPECT_EQ(takePackets(), kOffPackets);
    click("cmdOFF");
    EXPECT_EQ(takePackets(), kOffPackets) << "OFF again repeats its packets";
}

struct PageRow {
    int page;
    i16 mode;
    bool sendsOff;
};

TEST_F(ModeTest, ClickingATabRunsTheCommandOfItsMode)
{
    const PageRow rows[] = {{0, kModeRnd, false}, {1, kModeAuto, false}, {3, kModeOff, true},
                            {2, kModeFixed, false}, {3, kModeOff, true}, {0, kModeRnd, false}};
    for (const PageRow& row : rows) {
        SCOPED_TRACE(row.page);
        clickTab(row.page);
        EXPECT_EQ(tab()->currentIndex(), row.page);
        EXPECT_EQ(mode(), row.mode);
        EXPECT_EQ(takePackets(), row.sendsOff ? kOffPackets : PacketList{});
    }
}

TEST_F(ModeTest, FixedPageStaysAfterOffAndItsTabIsThenAlreadySelected)
{
    clickTab(2);
    click("cmdOFF");
    takePackets();
    EXPECT_EQ(tab()->currentIndex(), 2);
    clickTab(2);
    EXPECT_EQ(mode(), kModeOff) << "the tab showing cannot be selected again";
    click("cmdFIXED");
    EXPECT_EQ(mode(), kModeFixed);
}

TEST_F(ModeTest, ArrowKeysOnTheTabRowSwitchModes)
{
    QTabBar* bar = tab()->bar();
    bar->setFocus();
    QTest::keyClick(bar, Qt::Key_Left);
    EXPECT_EQ(tab()->currentIndex(), 2);
    EXPECT_EQ(mode(), kModeFixed);
    QTest::keyClick(bar, Qt::Key_Right);
    EXPECT_EQ(tab()->currentIndex(), 3);
    EXPECT_EQ(mode(), kModeOff);
    EXPECT_EQ(takePackets(), kOffPackets);
}

TEST_F(ModeTest, FixedTicksSendTheZoneSlidersAfterTheKeyboard)
{
    slider("slR(0)")->setValue(10);
    slider("slG(0)")->setValue(20);
    slider("slB(0)")->setValue(30);
    slider("slW")->setValue(77);
    outputTick();
    EXPECT_EQ(takePackets(), PacketList{bytes(keyboardPacket(77))}) << "OFF sends the keyboard only";
    click("cmdFIXED");
    outputTick();
    EXPECT_EQ(takePackets(), (PacketList{bytes(keyboardPacket(77)), bytes(zonePacket(0, 10, 20, 30)),
                                         bytes(zonePacket(1, 0, 0, 0)), bytes(zonePacket(2, 0, 0, 0))}));
}

TEST_F(ModeTest, FocusMovesFromOffThroughTheModeButtonsIntoTheTabs)
{
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    EXPECT_EQ(QApplication::focusWidget(), control("cmdOFF"));
    const char* order[] = {"cmdFIXED", "cmdRND", "cmdAuto"};
    for (const char* name : order) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), control(name)) << name;
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), tab()->bar());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_TRUE(tab()->isAncestorOf(QApplication::focusWidget()) || QApplication::focusWidget() == control("slW"))
        << "after the tab row come the page's controls";
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    EXPECT_EQ(QApplication::focusWidget(), control("cmdAuto"));
}

TEST_F(ModeTest, SpaceOnAFocusedModeButtonRunsIt)
{
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    control("cmdRND")->setFocus();
    QTest::keyClick(control("cmdRND"), Qt::Key_Space);
    EXPECT_EQ(mode(), kModeRnd);
    EXPECT_EQ(tab()->currentIndex(), 0);
}

} // namespace
} // namespace lumora::test
