// The master colour set of " Все вместе ": it copies into the three zone sets of its colour while
// it moves, one way only.
#include <QStyle>

#include "window_fixture.hpp"

namespace lumora::test {
namespace {

class MasterSliderTest : public WindowTest {
protected:
    MasterSliderTest()
    {
        freezeTimers();
        showWindow();
        clickTab(2);
    }

    std::array<int, 3> zones(const char* array)
    {
        std::array<int, 3> values{};
        for (int i = 0; i < 3; ++i)
            values[static_cast<std::size_t>(i)] = slider(QString("%1(%2)").arg(array).arg(i))->value();
        return values;
    }

    static std::array<int, 3> all(int value) { return {value, value, value}; }

    // Where the slider's handle is, and the x at which the handle's centre stands for `value`.
    static QRect handleRect(QSlider* s)
    {
        QStyleOptionSlider option;
        option.initFrom(s);
        option.orientation = s->orientation();
        option.minimum = s->minimum();
        option.maximum = s->maximum();
        option.sliderPosition = s->sliderPosition();
        option.sliderValue = s->value();
        option.tickPosition = s->tickPosition();
        option.tickInterval = s->tickInterval();
        option.singleStep = s->singleStep();
        option.pageStep = s->pageStep();
        return s->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, s);
    }
};

// Drags the red master to the right in small mouse steps; after every step the three red zone
// sliders stand where the master stands, while the drag is still going on.
TEST_F(MasterSliderTest, DraggingTheMasterMovesTheZonesStepByStep)
{
    QSlider* master = slider("slR(3)");
    const QPoint grab = handleRect(master).center();
    QTest::mousePress(master, Qt::LeftButton, {}, grab);
    std::vector<int> seen;
    for (int dx = 4; dx <= 150; dx += 4) {
        QTest::mouseMove(master, grab + QPoint(dx, 0));
        ASSERT_TRUE(master->isSliderDown()) << "still dragging";
        EXPECT_EQ(zones("slR"), all(master->value())) << "at " << dx;
        if (seen.empty() || seen.back() != master->value())
            seen.push_back(master->value());
    }
    QTest::mouseRelease(master, Qt::LeftButton, {}, grab + QPoint(150, 0));
    EXPECT_GT(seen.size(), 20u) << "the zones followed through many intermediate values";
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_GT(master->value(), 200);
    EXPECT_EQ(zones("slR"), all(master->value()));
    EXPECT_EQ(zones("slG"), all(0)) << "the red master leaves green alone";
    EXPECT_EQ(zones("slB"), all(0));
    EXPECT_EQ(slider("slG(3)")->value(), 0);
}

TEST_F(MasterSliderTest, FixedTicksSendTheMasterValueAfterEachDragStep)
{
    click("cmdFIXED");
    QSlider* master = slider("slG(3)");
    const QPoint grab = handleRect(master).center();
    QTest::mousePress(master, Qt::LeftButton, {}, grab);
    for (int dx : {20, 45, 90}) {
        QTest::mouseMove(master, grab + QPoint(dx, 0));
        takePackets();
        outputTick();
        const int g = master->value();
        ASSERT_GT(g, 0);
        EXPECT_EQ(takePackets(), (std::vector<std::vector<std::uint8_t>>{
                                     bytes(keyboardPacket(0)), bytes(zonePacket(0, 0, g, 0)),
                                     bytes(zonePacket(1, 0, g, 0)), bytes(zonePacket(2, 0, g, 0))}));
    }
    QTest::mouseRelease(master, Qt::LeftButton, {}, grab + QPoint(90, 0));
}

TEST_F(MasterSliderTest, KeysAndTrackClicksOnTheMasterCopyToo)
{
    QSlider* master = slider("slB(3)");
    master->setFocus();
    QTest::keyClick(master, Qt::Key_Right);
    EXPECT_EQ(master->value(), 1);
    EXPECT_EQ(zones("slB"), all(1));
    QTest::keyClick(master, Qt::Key_PageUp);
    EXPECT_EQ(master->value(), 6) << "a page key moves by 5";
    EXPECT_EQ(zones("slB"), all(6));
    // A click on the track beyond the handle moves by a page.
    const QRect handle = handleRect(master);
    QTest::mouseClick(master, Qt::LeftButton, {}, QPoint(handle.right() + 60, handle.center().y()));
    EXPECT_EQ(master->value(), 11);
    EXPECT_EQ(zones("slB"), all(11));
}

TEST_F(MasterSliderTest, ZoneSlidersDoNotMoveTheMasterOrEachOther)
{
    QSlider* top = slider("slR(1)");
    top->setFocus();
    QTest::keyClick(top, Qt::Key_PageUp);
    EXPECT_EQ(zones("slR"), (std::array<int, 3>{0, 5, 0}));
    EXPECT_EQ(slider("slR(3)")->value(), 0);

    const QPoint grab = handleRect(top).center();
    QTest::mousePress(top, Qt::LeftButton, {}, grab);
    QTest::mouseMove(top, grab + QPoint(60, 0));
    QTest::mouseRelease(top, Qt::LeftButton, {}, grab + QPoint(60, 0));
    EXPECT_GT(top->value(), 5);
    EXPECT_EQ(slider("slR(0)")->value(), 0);
    EXPECT_EQ(slider("slR(2)")->value(), 0);
    EXPECT_EQ(slider("slR(3)")->value(), 0);
}

TEST_F(MasterSliderTest, MasterBringsZonesThatWereSetApartBackTogether)
{
    slider("slR(0)")->setValue(17);
    slider("slR(1)")->setValue(250);
    slider("slR(3)")->setFocus();
    QTest::keyClick(slider("slR(3)"), Qt::Key_Right);
    EXPECT_EQ(zones("slR"), all(1));
    // And the master keeps a value no zone has any more once a zone moves on.
    slider("slR(2)")->setValue(40);
    EXPECT_EQ(slider("slR(3)")->value(), 1);
}

TEST_F(MasterSliderTest, TheSameCopyRunsForEveryColourAndOnlyFromTheMaster)
{
    const char* arrays[] = {"slR", "slG", "slB"};
    void (MainWindow::*handlers[])(int) = {&MainWindow::slR_Scroll, &MainWindow::slG_Scroll, &MainWindow::slB_Scroll};
    for (int c = 0; c < 3; ++c) {
        SCOPED_TRACE(arrays[c]);
        QSlider* master = slider(QString("%1(3)").arg(arrays[c]));
        for (int index = 0; index < 3; ++index) {
            (window.get()->*handlers[c])(index);
            EXPECT_EQ(zones(arrays[c]), all(0)) << "a zone's handler copies nothing";
        }
        master->setValue(100 + c);
        EXPECT_EQ(zones(arrays[c]), all(100 + c));
    }
    EXPECT_EQ(zones("slR"), all(100));
    EXPECT_EQ(zones("slG"), all(101));
}

TEST_F(MasterSliderTest, KeyboardSliderReachesTheNextTickInEveryMode)
{
    QSlider* keyboard = slider("slW");
    keyboard->setFocus();
    QTest::keyClick(keyboard, Qt::Key_PageUp);
    QTest::keyClick(keyboard, Qt::Key_Right);
    EXPECT_EQ(keyboard->value(), 6);
    for (const char* button : {"cmdOFF", "cmdFIXED", "cmdRND", "cmdAuto"}) {
        click(button);
        takePackets();
        outputTick();
        const auto sent = takePackets();
        ASSERT_FALSE(sent.empty()) << button;
        EXPECT_EQ(sent.front(), bytes(keyboardPacket(6))) << button;
    }
}

} // namespace
} // namespace lumora::test
