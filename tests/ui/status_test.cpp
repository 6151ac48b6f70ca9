// The status display: the three zone swatches and the rate, refreshed by Timer2 every 500 ms; and
// the four timers that start with the window.
#include <QLabel>

#include "window_fixture.hpp"

namespace lumora::test {
namespace {

class StatusTest : public WindowTest {
protected:
    QString fps() { return control<QLabel>("txtFPS")->text(); }
    QColor swatch(const char* name) { return control<Swatch>(name)->colour(); }
    QColor zone(std::size_t z) { return QColor(state().CurR[z], state().CurG[z], state().CurB[z]); }
    static void fire(QTimer* t) { QMetaObject::invokeMethod(t, "timeout"); }
};

TEST_F(StatusTest, TimersRunWithTheWindowAtTheirIntervals)
{
    const struct {
        const char* name;
        int interval;
    } rows[] = {{"Timer1", 10}, {"Timer2", 500}, {"Timer3", 3000}, {"Timer4", 5000}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QTimer* t = timer(row.name);
        ASSERT_NE(t, nullptr);
        EXPECT_TRUE(t->isActive());
        EXPECT_EQ(t->interval(), row.interval);
        EXPECT_FALSE(t->isSingleShot());
    }
    EXPECT_EQ(timer("Timer1")->timerType(), Qt::PreciseTimer);
}

TEST_F(StatusTest, ShowsLabel1UntilTheFirstStatusTickThenTheRate)
{
    EXPECT_EQ(fps(), "Label1");
    // Left running, the timers replace the design caption with a number within about half a second.
    ASSERT_TRUE(QTest::qWaitFor([this] { return fps() != "Label1"; }, 10000));
    bool isNumber = false;
    EXPECT_GE(fps().toInt(&isNumber), 0);
    EXPECT_TRUE(isNumber) << fps().toStdString();
}

TEST_F(StatusTest, RateIsTwiceTheTicksOfThePeriod)
{
    freezeTimers();
    for (int i = 0; i < 32; ++i)
        outputTick();
    fire(timer("Timer2"));
    EXPECT_EQ(fps(), "64");
    EXPECT_EQ(state().FrameCount, 0);
    fire(timer("Timer2"));
    EXPECT_EQ(fps(), "0") << "no tick in the period";
    outputTick();
    fire(timer("Timer2"));
    EXPECT_EQ(fps(), "2");
}

TEST_F(StatusTest, SwatchesShowTopRightAndLeftAndTheFootNeverChanges)
{
    freezeTimers();
    const QColor foot = swatch("col_D");
    const int colours[3][3] = {{1, 2, 3}, {40, 50, 60}, {255, 128, 0}};
    for (std::size_t z = 0; z < 3; ++z) {
        state().CurR[z] = static_cast<i16>(colours[z][0]);
        state().CurG[z] = static_cast<i16>(colours[z][1]);
        state().CurB[z] = static_cast<i16>(colours[z][2]);
    }
    fire(timer("Timer2"));
    EXPECT_EQ(swatch("col_L"), QColor(1, 2, 3));
    EXPECT_EQ(swatch("col_U"), QColor(40, 50, 60));
    EXPECT_EQ(swatch("col_R"), QColor(255, 128, 0));
    EXPECT_EQ(swatch("col_D"), foot);
}

TEST_F(StatusTest, InFixedTheSwatchesKeepTheLastRandomColours)
{
    freezeTimers();
    showWindow();
    click("cmdRND");
    for (int i = 0; i < 40; ++i)
        outputTick();
    fire(timer("Timer2"));
    const QColor left = zone(0), top = zone(1), right = zone(2);
    ASSERT_NE(left, QColor(0, 0, 0)) << "RND has coloured the zones";
    EXPECT_EQ(swatch("col_L"), left);
    EXPECT_EQ(swatch("col_U"), top);
    EXPECT_EQ(swatch("col_R"), right);

    click("cmdFIXED");
    for (const char* name : {"slR(0)", "slG(1)", "slB(2)", "slR(3)"})
        slider(name)->setValue(222);
    for (int i = 0; i < 10; ++i)
        outputTick();
    fire(timer("Timer2"));
    EXPECT_EQ(swatch("col_L"), left);
    EXPECT_EQ(swatch("col_U"), top);
    EXPECT_EQ(swatch("col_R"), right);
    EXPECT_EQ(fps(), "20");

    click("cmdOFF");
    fire(timer("Timer2"));
    EXPECT_EQ(swatch("col_U"), top) << "OFF keeps them too";
}

TEST_F(StatusTest, Timer3DoesNothing)
{
    freezeTimers();
    showWindow();
    click("cmdFIXED");
    outputTick();
    const ControllerState before = state();
    const QString caption = fps();
    takePackets();
    fire(timer("Timer3"));
    EXPECT_TRUE(takePackets().empty());
    EXPECT_EQ(state().Mode, before.Mode);
    EXPECT_EQ(state().FrameCount, before.FrameCount);
    EXPECT_EQ(state().CurR, before.CurR);
    EXPECT_EQ(fps(), caption);
    EXPECT_EQ(tab()->currentIndex(), 2);
}

TEST_F(StatusTest, Timer4FollowsTheScreenWhileAutoAdjustIsChecked)
{
    freezeTimers();
    screen.screenSize = {1280, 720};
    fire(timer("Timer4"));
    EXPECT_EQ(window->text(TextBox::ResX), "1280");
    EXPECT_EQ(window->text(TextBox::ResY), "720");
    control<QAbstractButton>("chkResAuto")->setChecked(false);
    screen.screenSize = {800, 600};
    fire(timer("Timer4"));
    EXPECT_EQ(window->text(TextBox::ResX), "1280");
}

} // namespace
} // namespace lumora::test
