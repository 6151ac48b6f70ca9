// The real window driven in-process: a fake serial line behind a real lamp link, a uniform screen,
// a scripted random source and an opener that only records what it was asked to open. The
// window's controls reach the controller and show what it pushes back: the mode buttons and tab
// pages, the AUTO page's boxes, slider tracks, the wheel, the labels, the status display. The
// rules themselves are tested on the controller (tests/unit), closing and the sliders' packets end
// to end (tests/e2e). A picture of every page is kept as build/screenshots/page-*.png (also `make
// screenshots`).
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QProxyStyle>
#include <QSlider>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <memory>

#include "../unit/core_fakes.hpp"
#include "ui/main_window.hpp"
#include "ui/tray.hpp"

namespace lumora::test {
namespace {

struct RecordingOpener final : UrlOpener {
    void open(const std::string& address) override { opened.push_back(address); }
    std::vector<std::string> opened;
};

struct WindowTest : testing::Test {
    // Started with its four timers stopped, so that a test drives every tick itself, and shown.
    WindowTest()
    {
        window->attach(service);
        service.start();
        for (QTimer* t : service.findChildren<QTimer*>())
            t->stop();
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    // The one widget of this name.
    template <typename T = QWidget>
    T* control(const char* name) const
    {
        const auto all = window->findChildren<T*>(name);
        EXPECT_EQ(all.size(), 1) << "controls named " << name;
        return all.value(0);
    }
    TabControl* tab() const { return control<TabControl>("Tab1"); }
    void click(const char* name) { QTest::mouseClick(control(name), Qt::LeftButton, {}, control(name)->rect().center()); }
    void clickTab(int page) { QTest::mouseClick(tab()->bar(), Qt::LeftButton, {}, tab()->bar()->tabRect(page).center()); }
    ControllerState& state() { return window->controller().state(); }

    FakeLine line;
    FakeClock clock;
    LampLink link{line, clock};
    FakeScreen screen;
    ScriptedRandom random{std::vector<double>(1000, 0.5)};
    RecordingOpener opener;
    std::unique_ptr<MainWindow> window = std::make_unique<MainWindow>(opener);
    DriverService service{*window, link, screen, random};
};

TEST_F(WindowTest, ControlsChooseTheModeOpenTheirTargetsAndApplyTheAutoBoxesOrSayWhyNot)
{
    EXPECT_EQ(tab()->currentIndex(), 3);
    click("cmdFIXED");
    EXPECT_EQ(std::pair(tab()->currentIndex(), state().Mode), std::pair(2, i16{kModeFixed}));
    clickTab(0);
    EXPECT_EQ(std::pair(tab()->currentIndex(), state().Mode), std::pair(0, i16{kModeRnd}));
    click("cmdOFF");
    EXPECT_EQ(std::pair(tab()->currentIndex(), state().Mode), std::pair(0, i16{kModeOff}));
    // The labels open their targets and leave the lamps alone.
    const std::pair<const char*, const char*> labels[] = {{"lblForumLink", LinkTargets::kForumThread}, {"lblMail(1)", LinkTargets::kMailTarget},
                                                          {"lblMyPage", LinkTargets::kHomeTarget}, {"lblMail(0)", LinkTargets::kMailTarget}};
    for (const auto& [label, target] : labels) {
        opener.opened.clear();
        line.written.clear();
        click(label);
        EXPECT_EQ(opener.opened, std::vector<std::string>{target}) << label;
        EXPECT_TRUE(line.written.empty() && state().Mode == kModeOff) << label;
    }
    const auto apply = [&](const char* stepX) {
        control<QLineEdit>("txtStepX")->setText(stepX);
        click("cmdAUTOset");
        return control<QLabel>("lblAutoMessage")->text().toStdString();
    };
    clickTab(1);
    EXPECT_EQ(apply("12px"), "");
    EXPECT_EQ(state().StepX, 12);
    EXPECT_EQ(apply("0").rfind("Шаг Х: 0 — не шаг", 0), 0u);
    EXPECT_EQ(state().StepX, 12);
    // The resolution's refusal has a place of its own; the screen tick, which applies the
    // resolution every 5 s, wipes neither refusal before its own button is pressed again.
    control<QLineEdit>("txtResX")->setText("70000");
    click("cmdSet");
    const QString refusal = control<QLabel>("lblResMessage")->text();
    EXPECT_TRUE(refusal.startsWith("Ширина: «70000»")) << refusal.toStdString();
    screen.screenProblem = {"Не открыть дисплей X «:99»", "cannot open X display ':99'"};
    service.Timer4_Timer();
    EXPECT_EQ(control<QLabel>("lblResMessage")->text(), refusal);
    EXPECT_EQ(control<QLabel>("lblAutoMessage")->text().left(12), "Шаг Х: 0 — н");
    EXPECT_EQ(control<QLabel>("lblCaptureState")->text(), "Не открыть дисплей X «:99»");
    control<QLineEdit>("txtResX")->setText("1280");
    click("cmdSet");
    EXPECT_EQ(control<QLabel>("lblResMessage")->text(), "");
}

// A style that jumps the thumb to a click on the track, as some desktop styles do.
struct JumpingStyle final : QProxyStyle {
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget, QStyleHintReturn* data) const override
    {
        if (hint == SH_Slider_AbsoluteSetButtons)
            return Qt::LeftButton;
        if (hint == SH_Slider_PageSetButtons)
            return Qt::NoButton;
        return QProxyStyle::styleHint(hint, option, widget, data);
    }
};

// A click on a slider's track moves it one page toward the click in any style; the wheel over
// the tab row, as a user scrolling past it, chooses no page and so lights nothing.
TEST_F(WindowTest, TrackClicksPageAndTheWheelChoosesNoMode)
{
    JumpingStyle jumping;
    clickTab(2);
    for (QStyle* style : {static_cast<QStyle*>(nullptr), static_cast<QStyle*>(&jumping)}) {
        QSlider* red = control<QSlider>("slR(1)");
        red->setStyle(style);
        red->setValue(100);
        QTest::mouseClick(red, Qt::LeftButton, {}, QPoint(red->width() - 3, red->height() / 2));
        EXPECT_EQ(red->value(), 105);
        QTest::mouseClick(red, Qt::LeftButton, {}, QPoint(3, red->height() / 2));
        EXPECT_EQ(red->value(), 100);
        red->setStyle(nullptr);
    }
    clickTab(0);
    QSlider* speed = control<QSlider>("Slider1");
    QTest::mouseClick(speed, Qt::LeftButton, {}, QPoint(speed->width() - 3, speed->height() / 2));
    EXPECT_EQ(speed->value(), 2);

    window->cmdOFF_Click();
    clickTab(3);
    line.written.clear();
    QTabBar* bar = tab()->bar();
    const QPointF at = bar->tabRect(3).center();
    for (int delta : {-120, 120}) {
        QWheelEvent wheel(at, bar->mapToGlobal(at), {}, {0, delta}, Qt::NoButton, {}, Qt::NoScrollPhase, false);
        QApplication::sendEvent(bar, &wheel);
        EXPECT_EQ(tab()->currentIndex(), 3);
    }
    EXPECT_TRUE(line.written.empty() && state().Mode == kModeOff);
}

// The board line says first why the lamps are dark, then whether the board is connected; the
// status display names the reason in a word where the rate stands otherwise.
TEST_F(WindowTest, BoardLineAndStatusSayWhyTheLampsAreDark)
{
    QLabel* boardLine = control<QLabel>("lblLinkState");
    window->showLinkState({"Плата не подключена, жду её", "lost the board on /dev/fake: Input/output error"});
    EXPECT_EQ(boardLine->text(), "Плата не подключена, жду её");
    service.pause(PauseReason::Locked);
    service.Timer2_Timer();
    EXPECT_EQ(boardLine->text(), "Лампы погашены: экран заблокирован");
    EXPECT_EQ(boardLine->toolTip(), "lost the board on /dev/fake: Input/output error");
    EXPECT_EQ(control<QLabel>("txtFPS")->text(), "замок");
    service.resume(PauseReason::Locked);
    service.Timer2_Timer();
    EXPECT_EQ(boardLine->text(), "Плата не подключена, жду её");
    EXPECT_EQ(control<QLabel>("txtFPS")->text(), "0");
    window->showLinkState({});
    EXPECT_EQ(boardLine->text(), "");
}

// The tray's menu holds the window's own mode actions, so a mode chosen in the window shows in the
// menu and the tray's tip. The menu choosing a mode on a desktop's real tray is tested end to end
// (tests/e2e/outside_test.cpp).
TEST_F(WindowTest, TrayShowsTheModeInForce)
{
    Tray tray(*window, service, {[] { return false; }, [](bool) { return QString(); }});
    QAction* automatic = window->findChild<QAction*>("actAUTO");
    ASSERT_TRUE(tray.menu().actions().contains(automatic));
    click("cmdAuto");
    service.Timer2_Timer(); // the status tick shows the mode in force
    EXPECT_TRUE(automatic->isChecked());
    EXPECT_EQ(tray.toolTip(), "Lumora Driver: AUTO");
}

struct Screenshots : WindowTest {};

TEST_F(Screenshots, EveryPageIsSavedWithTheZoneColoursInItsSwatches)
{
    const QColor colours[3] = {{200, 30, 40}, {10, 180, 60}, {20, 50, 230}}; // left, top, right
    for (std::size_t zone = 0; zone < 3; ++zone) {
        state().CurR[zone] = static_cast<i16>(colours[zone].red());
        state().CurG[zone] = static_cast<i16>(colours[zone].green());
        state().CurB[zone] = static_cast<i16>(colours[zone].blue());
    }
    service.Timer1_Timer();
    service.Timer2_Timer();
    EXPECT_EQ(control<QLabel>("txtFPS")->text(), "2"); // twice the ticks of the last half second
    const QString dir = QStringLiteral(LUMORA_BUILD_DIR "/screenshots");
    QDir().mkpath(dir);
    const char* const pages[] = {"RND", "AUTO", "FIXED", "Help"};
    for (int page = 0; page < 4; ++page) {
        SCOPED_TRACE(pages[page]);
        clickTab(page);
        const QImage shot = window->grab().toImage();
        ASSERT_TRUE(shot.save(dir + "/page-" + pages[page] + ".png"));
        const std::pair<const char*, std::size_t> swatches[] = {{"col_L", 0}, {"col_U", 1}, {"col_R", 2}};
        for (const auto& [name, zone] : swatches) {
            // Neighbouring edges may share their outermost pixel row; inside it, every pixel is the swatch's.
            const QRect r = control(name)->geometry().adjusted(1, 1, -1, -1);
            for (const QPoint& p : {r.topLeft(), r.bottomRight(), r.center()})
                EXPECT_EQ(shot.pixel(p), colours[zone].rgb()) << name;
        }
    }
}

} // namespace
} // namespace lumora::test
