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
        auto* edit = control<QLineEdit>(box);
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }
    QString message() const { return control<QLabel>("lblAutoMessage")->text(); }
};

TEST_F(AutoPageTest, AppliedValuesFollowTheReadingRule)
{
    type("txtStepX", "12px");
    type("txtStepY", "2.5");
    type("txtDelta", "&H10");
    click("cmdAUTOset");
    EXPECT_EQ(state().StepX, 12);
    EXPECT_EQ(state().StepY, 2);
    EXPECT_EQ(state().Delta, 16);
    EXPECT_TRUE(message().isEmpty()) << message().toStdString();
}

TEST_F(AutoPageTest, RefusedValuesAreExplainedAndTheOldOnesStay)
{
    struct Case {
        const char* box;
        const char* text;
        const char* inForce;
    };
    for (const Case& c : {Case{"txtStepX", "0", "25"}, Case{"txtStepY", "abc", "50"}, Case{"txtDelta", "99999", "30"},
                          Case{"txtMin1", "1e9", "50"}, Case{"txtStepX", "32767", "25"}}) {
        SCOPED_TRACE(std::string(c.box) + " = " + c.text);
        type(c.box, c.text);
        click("cmdAUTOset");
        EXPECT_FALSE(message().isEmpty());
        EXPECT_EQ(state().StepX, 25);
        EXPECT_EQ(state().StepY, 50);
        EXPECT_EQ(state().Delta, 30);
        EXPECT_EQ(state().Min1, 50);
        type(c.box, c.inForce); // so that the next case refuses only its own box
    }
    click("cmdAUTOset");
    EXPECT_TRUE(message().isEmpty()) << message().toStdString();
}

TEST_F(AutoPageTest, RefusedResolutionKeepsTheZones)
{
    const auto zones = state().ZoneX2;
    type("txtResX", "70000");
    click("cmdSet");
    EXPECT_FALSE(message().isEmpty());
    EXPECT_EQ(state().ZoneX2, zones);
    type("txtResX", "1280");
    type("txtResY", "1024");
    click("cmdSet");
    EXPECT_TRUE(message().isEmpty()) << message().toStdString();
    EXPECT_EQ(state().ZoneX2[0], 427);
}

TEST_F(AutoPageTest, AScreenThatCannotBeReadIsShown)
{
    screen.screenProblem = "cannot open X display ':99'";
    window->Timer4_Timer();
    EXPECT_EQ(control<QLabel>("lblCaptureState")->text().toStdString(), "cannot open X display ':99'");
    screen.screenProblem.clear();
    window->Timer4_Timer();
    EXPECT_TRUE(control<QLabel>("lblCaptureState")->text().isEmpty());
}

} // namespace
} // namespace lumora::test
