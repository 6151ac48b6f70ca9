// The status display: the three zone swatches and the rate, refreshed by Timer2 every 500 ms; and
// the four timers that start with the window.
#include <QLabel>

#include "window_fixture.hpp"

namespace lumora::test {
namespace {

class StatusTest : public WindowTest {
protected:
    StatusTest() { freezeAndShow(); }
    QString fps() { return control<QLabel>("txtFPS")->text(); }
    QColor swatch(const char* name) { return control<Swatch>(name)->colour(); }
};

TEST_F(WindowTest, TimersStartWithTheWindowAtTheirIntervals)
{
    for (const auto& [name, interval] : {std::pair{"Timer1", 10}, {"Timer2", 500}, {"Timer3", 3000}, {"Timer4", 5000}}) {
        SCOPED_TRACE(name);
        QTimer* t = timer(name);
        ASSERT_NE(t, nullptr);
        EXPECT_TRUE(t->isActive());
        EXPECT_FALSE(t->isSingleShot());
        EXPECT_EQ(t->interval(), interval);
    }
}

TEST_F(StatusTest, TickShowsTheRateAndTheZonesButNotTheFoot)
{
    EXPECT_EQ(fps(), "Label1") << "the design caption stays until the first status tick";
    const QColor foot = swatch("col_D");
    for (int i = 0; i < 32; ++i)
        outputTick();
    const QColor colours[] = {{1, 2, 3}, {40, 50, 60}, {255, 128, 0}}; // left, top, right
    for (std::size_t z = 0; z < 3; ++z) {
        state().CurR[z] = static_cast<i16>(colours[z].red());
        state().CurG[z] = static_cast<i16>(colours[z].green());
        state().CurB[z] = static_cast<i16>(colours[z].blue());
    }
    fire("Timer2");
    EXPECT_EQ(fps(), "64") << "twice the ticks of the half second";
    EXPECT_EQ(swatch("col_L"), QColor(1, 2, 3));
    EXPECT_EQ(swatch("col_U"), QColor(40, 50, 60));
    EXPECT_EQ(swatch("col_R"), QColor(255, 128, 0));
    EXPECT_EQ(swatch("col_D"), foot);
    fire("Timer2");
    EXPECT_EQ(fps(), "0") << "no tick in the period";
}

TEST_F(StatusTest, InFixedTheSwatchesKeepTheLastRandomColoursAndTimer3DoesNothing)
{
    click("cmdRND");
    for (int i = 0; i < 40; ++i)
        outputTick();
    fire("Timer2");
    const QColor left = swatch("col_L"), top = swatch("col_U"), right = swatch("col_R");
    ASSERT_NE(left, QColor(0, 0, 0)) << "RND has coloured the zones";

    click("cmdFIXED");
    for (const char* name : {"slR(0)", "slG(1)", "slB(2)", "slR(3)"})
        slider(name)->setValue(222);
    for (int i = 0; i < 10; ++i)
        outputTick();
    fire("Timer2");
    EXPECT_EQ(fps(), "20");
    EXPECT_EQ(std::tuple(swatch("col_L"), swatch("col_U"), swatch("col_R")), std::tuple(left, top, right));

    // Timer3 does nothing at all.
    outputTick();
    takePackets();
    const ControllerState before = state();
    fire("Timer3");
    EXPECT_TRUE(takePackets().empty());
    EXPECT_EQ(std::tuple(state().Mode, state().FrameCount, state().CurR), std::tuple(before.Mode, before.FrameCount, before.CurR));
    EXPECT_EQ(fps(), "20");
}

} // namespace
} // namespace lumora::test
