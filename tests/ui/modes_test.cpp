// The window's controls reach the controller and show what it pushes back: the mode buttons and
// tab pages, the master sliders, the AUTO page's boxes, the status display, closing. The rules
// themselves are tested on the controller (tests/unit).
#include "window_fixture.hpp"

namespace lumora::test {
namespace {

TEST_F(WindowTest, ButtonsAndTabsChooseTheModeAndClosingSwitchesTheLampsOff)
{
    EXPECT_EQ(tab()->currentIndex(), 3);
    click("cmdFIXED");
    EXPECT_EQ(std::pair(tab()->currentIndex(), state().Mode), std::pair(2, i16{kModeFixed}));
    clickTab(0);
    EXPECT_EQ(std::pair(tab()->currentIndex(), state().Mode), std::pair(0, i16{kModeRnd}));
    line.written.clear();
    click("cmdOFF");
    EXPECT_EQ(std::pair(tab()->currentIndex(), state().Mode), std::pair(0, i16{kModeOff}));
    EXPECT_EQ(line.written, concat({offPacket(0), offPacket(1), offPacket(2)}));
    line.written.clear();
    window->close();
    EXPECT_EQ(line.written, concat({offPacket(0), offPacket(1), offPacket(2)}));
    EXPECT_FALSE(line.isOpen());
}

TEST_F(WindowTest, MasterSliderMovesItsZonesAndTheStatusShowsTheZones)
{
    clickTab(2);
    QSlider* master = control<QSlider>("slG(3)");
    master->setFocus();
    QTest::keyClick(master, Qt::Key_PageUp); // a page is 5
    for (const char* zone : {"slG(0)", "slG(1)", "slG(2)"})
        EXPECT_EQ(control<QSlider>(zone)->value(), 5) << zone;
    EXPECT_EQ(control<QSlider>("slR(0)")->value(), 0);

    state().CurR = {200, 10, 20};
    window->Timer1_Timer();
    window->Timer2_Timer();
    EXPECT_EQ(control<QLabel>("txtFPS")->text(), "2");
    EXPECT_EQ(control<Swatch>("col_L")->colour(), QColor(200, 0, 0));
    EXPECT_EQ(control<Swatch>("col_U")->colour(), QColor(10, 0, 0));
    EXPECT_EQ(control<Swatch>("col_R")->colour(), QColor(20, 0, 0));
}

TEST_F(WindowTest, AutoPageAppliesItsBoxesOrSaysWhyNot)
{
    const auto apply = [&](const char* stepX) {
        control<QLineEdit>("txtStepX")->setText(stepX);
        click("cmdAUTOset");
        return control<QLabel>("lblAutoMessage")->text().toStdString();
    };
    clickTab(1);
    EXPECT_EQ(apply("12px"), "");
    EXPECT_EQ(state().StepX, 12);
    EXPECT_EQ(apply("0").rfind("Шаг Х: 0 is not a step", 0), 0u);
    EXPECT_EQ(state().StepX, 12);
    screen.screenProblem = "cannot open X display ':99'";
    window->Timer4_Timer();
    EXPECT_EQ(control<QLabel>("lblCaptureState")->text(), "cannot open X display ':99'");
}

TEST_F(WindowTest, LabelsOpenTheirTargetsAndLeaveTheLampsAlone)
{
    const std::pair<const char*, const char*> rows[] = {{"lblForumLink", LinkTargets::kForumThread},
                                                        {"lblMail(1)", LinkTargets::kMailTarget},
                                                        {"lblMyPage", LinkTargets::kHomeTarget},
                                                        {"lblMail(0)", LinkTargets::kMailTarget}};
    for (const auto& [label, target] : rows) {
        SCOPED_TRACE(label);
        opener.opened.clear();
        line.written.clear();
        click(label);
        EXPECT_EQ(opener.opened, std::vector<std::string>{target});
        EXPECT_TRUE(line.written.empty());
        EXPECT_EQ(state().Mode, kModeOff);
    }
}

} // namespace
} // namespace lumora::test
