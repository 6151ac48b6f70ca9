// The mode buttons and the tab pages as two faces of one choice, the opening state, and the
// keyboard's way through the window.
#include <QWheelEvent>

#include "window_fixture.hpp"

namespace lumora::test {
namespace {

class ModeTest : public WindowTest {
protected:
    ModeTest() { freezeAndShow(); }
    const PacketList offPackets{bytes(offPacket(0)), bytes(offPacket(1)), bytes(offPacket(2))};
};

TEST_F(ModeTest, ButtonsSelectTheirPageTabsTheirModeAndOffKeepsThePage)
{
    EXPECT_EQ(tab()->currentIndex(), 3);
    EXPECT_EQ(state().Mode, kModeOff);
    EXPECT_TRUE(takePackets().empty()) << "opening on Help runs no page handler, so sends no off packets";

    // A control clicked (a button's name or a tab's number), the page and the mode it leads to, and
    // whether off packets go out.
    const struct {
        const char* button;
        int page;
        i16 mode;
        bool sendsOff;
    } steps[] = {{"cmdFIXED", 2, kModeFixed, false}, {"cmdRND", 0, kModeRnd, false}, {"cmdAuto", 1, kModeAuto, false},
                 {"cmdOFF", 1, kModeOff, true},      {"3", 3, kModeOff, true},        {"2", 2, kModeFixed, false},
                 {"cmdOFF", 2, kModeOff, true},      {"2", 2, kModeOff, false},       {"cmdFIXED", 2, kModeFixed, false},
                 {"0", 0, kModeRnd, false},          {"1", 1, kModeAuto, false},      {"cmdOFF", 1, kModeOff, true}};
    for (const auto& step : steps) {
        SCOPED_TRACE(step.button);
        if (std::isdigit(static_cast<unsigned char>(step.button[0])))
            clickTab(step.button[0] - '0'); // the tab showing cannot be selected again
        else
            click(step.button);
        EXPECT_EQ(tab()->currentIndex(), step.page);
        EXPECT_TRUE(tab()->page(step.page)->isVisible());
        EXPECT_EQ(state().Mode, step.mode);
        EXPECT_EQ(takePackets(), step.sendsOff ? offPackets : PacketList{});
    }
}

// A page is a mode: the wheel rolled over the tab row, as a user scrolling past it does, chooses
// nothing and lights nothing.
TEST_F(ModeTest, TheWheelOverTheTabRowChoosesNothing)
{
    QTabBar* bar = tab()->bar();
    for (int delta : {-120, 120, -120}) {
        const QPointF at = bar->tabRect(3).center();
        QWheelEvent wheel(at, bar->mapToGlobal(at), {}, {0, delta}, Qt::NoButton, {}, Qt::NoScrollPhase, false);
        QApplication::sendEvent(bar, &wheel);
        EXPECT_EQ(tab()->currentIndex(), 3);
    }
    EXPECT_EQ(state().Mode, kModeOff);
    EXPECT_TRUE(takePackets().empty());
}

TEST_F(ModeTest, FocusMovesFromOffThroughTheModeButtonsIntoTheTabs)
{
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    EXPECT_EQ(QApplication::focusWidget(), control("cmdOFF"));
    const auto tabKey = [](Qt::Key key) { QTest::keyClick(QApplication::focusWidget(), key); };
    for (const char* name : {"cmdFIXED", "cmdRND", "cmdAuto"}) {
        tabKey(Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), control(name)) << name;
    }
    tabKey(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), tab()->bar());
    tabKey(Qt::Key_Tab);
    EXPECT_TRUE(tab()->isAncestorOf(QApplication::focusWidget()) || QApplication::focusWidget() == control("slW"))
        << "after the tab row come the page's controls";
    tabKey(Qt::Key_Backtab);
    tabKey(Qt::Key_Backtab);
    EXPECT_EQ(QApplication::focusWidget(), control("cmdAuto"));
}

} // namespace
} // namespace lumora::test
