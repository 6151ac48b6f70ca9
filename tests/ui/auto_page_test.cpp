// The AUTO page's boxes through the window: what is applied, what is refused and said beside the
// controls, and what a screen that cannot be read shows.
#include <QLabel>
#include <QLineEdit>

#include "window_fixture.hpp"

namespace lumora::test {
namespace {

class AutoPageTest : public WindowTest {
protected:
    void type(const QString& box, const QString& text)
    {
        control<QLineEdit>(box)->selectAll();
        QTest::keyClicks(control<QLineEdit>(box), text);
    }
    std::string message() const { return control<QLabel>("lblAutoMessage")->text().toStdString(); }
};

TEST_F(AutoPageTest, AppliedValuesFollowTheReadingRule)
{
    type("txtStepX", "12px");
    type("txtStepY", "2.5");
    type("txtDelta", "&H10");
    click("cmdAUTOset");
    EXPECT_EQ(std::tuple(state().StepX, state().StepY, state().Delta), std::tuple(12, 2, 16));
    EXPECT_EQ(message(), "");
}

TEST_F(AutoPageTest, RefusedValuesAreExplainedAndTheOldOnesStay)
{
    // A box, what is typed into it, and the value in force that is typed back afterwards.
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"txtStepX", "0", "25"}, {"txtStepY", "abc", "50"}, {"txtDelta", "99999", "30"},
        {"txtMin1", "1e9", "50"}, {"txtStepX", "32767", "25"}};
    for (const auto& [box, text, inForce] : cases) {
        SCOPED_TRACE(std::string(box) + " = " + text);
        type(box, text);
        click("cmdAUTOset");
        EXPECT_NE(message(), "");
        EXPECT_EQ(std::tuple(state().StepX, state().StepY, state().Delta, state().Min1), std::tuple(25, 50, 30, 50));
        type(box, inForce); // so that the next case refuses only its own box
    }
    click("cmdAUTOset");
    EXPECT_EQ(message(), "");

    // Each refusal keeps its own place until its own button is pressed again: the screen tick,
    // which applies the resolution every 5 s, wipes neither.
    type("txtDelta", "-500");
    click("cmdAUTOset");
    const auto zones = state().ZoneX2;
    type("txtResX", "70000");
    click("cmdSet");
    const QString resRefusal = control<QLabel>("lblResMessage")->text();
    EXPECT_TRUE(resRefusal.startsWith("Ширина: «70000»")) << resRefusal.toStdString();
    EXPECT_EQ(state().ZoneX2, zones);
    window->Timer4_Timer();
    EXPECT_EQ(control<QLabel>("lblResMessage")->text(), resRefusal);
    EXPECT_EQ(message().rfind("Дельта: -500", 0), 0u);
    type("txtResX", "1280");
    click("cmdSet");
    EXPECT_EQ(control<QLabel>("lblResMessage")->text(), "");
    EXPECT_EQ(state().ZoneX2[0], 427);
    EXPECT_EQ(message().rfind("Дельта: -500", 0), 0u);
}

TEST_F(AutoPageTest, AScreenThatCannotBeReadIsShown)
{
    screen.screenProblem = {"Не открыть дисплей X «:99»", "cannot open X display ':99'"};
    window->Timer4_Timer();
    EXPECT_EQ(control<QLabel>("lblCaptureState")->text(), "Не открыть дисплей X «:99»");
    screen.screenProblem = {};
    window->Timer4_Timer();
    EXPECT_EQ(control<QLabel>("lblCaptureState")->text(), "");
}

} // namespace
} // namespace lumora::test
