// The master colour set of " Все вместе ": it copies into the three zone sets of its colour while
// it moves, one way only.
#include <QProxyStyle>
#include <QStyle>
#include <QStyleOptionSlider>

#include "window_fixture.hpp"

namespace lumora::test {
namespace {

class MasterSliderTest : public WindowTest {
protected:
    MasterSliderTest()
    {
        freezeAndShow();
        clickTab(2);
    }

    // The four sliders of a colour: the three zones, then the master.
    std::array<int, 4> values(const char* array)
    {
        std::array<int, 4> result{};
        for (int i = 0; i < 4; ++i)
            result[static_cast<std::size_t>(i)] = slider(QString("%1(%2)").arg(array).arg(i))->value();
        return result;
    }

    // The centre of the slider's handle, where a drag grabs it.
    static QPoint handleCentre(QSlider* s)
    {
        QStyleOptionSlider option;
        option.initFrom(s);
        option.orientation = s->orientation();
        option.maximum = s->maximum();
        option.sliderPosition = s->sliderPosition();
        option.tickPosition = s->tickPosition();
        return s->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, s).center();
    }
};

// Drags the green master to the right in small mouse steps; after every step the three green zone
// sliders stand where the master stands, while the drag is still going on, and a FIXED tick sends it.
TEST_F(MasterSliderTest, DraggingTheMasterMovesItsZonesStepByStep)
{
    click("cmdFIXED");
    QSlider* master = slider("slG(3)");
    const QPoint grab = handleCentre(master);
    QTest::mousePress(master, Qt::LeftButton, {}, grab);
    std::vector<int> seen;
    for (int dx = 4; dx <= 150; dx += 4) {
        QTest::mouseMove(master, grab + QPoint(dx, 0));
        ASSERT_TRUE(master->isSliderDown()) << "still dragging";
        const int g = master->value();
        EXPECT_EQ(values("slG"), (std::array{g, g, g, g})) << "at " << dx;
        if (seen.empty() || seen.back() != g)
            seen.push_back(g);
        if (dx % 40 != 0)
            continue; // a tick now and then, as the line keeps up with
        takePackets();
        outputTick();
        EXPECT_EQ(takePackets(), (PacketList{bytes(keyboardPacket(0)), bytes(zonePacket(0, 0, g, 0)),
                                             bytes(zonePacket(1, 0, g, 0)), bytes(zonePacket(2, 0, g, 0))}));
    }
    QTest::mouseRelease(master, Qt::LeftButton, {}, grab + QPoint(150, 0));
    EXPECT_GT(seen.size(), 20u) << "the zones followed through many intermediate values";
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_GT(master->value(), 200);
    EXPECT_EQ(values("slR"), (std::array{0, 0, 0, 0})) << "the green master leaves red and blue alone";
    EXPECT_EQ(values("slB"), (std::array{0, 0, 0, 0}));
}

TEST_F(MasterSliderTest, EachMasterCopiesItsOwnColourAndZonesCopyNothing)
{
    const char* arrays[] = {"slR", "slG", "slB"};
    for (int c = 0; c < 3; ++c) {
        SCOPED_TRACE(arrays[c]);
        // A zone moved by its keys moves neither the master nor the other zones.
        QSlider* zone = slider(QString("%1(1)").arg(arrays[c]));
        zone->setFocus();
        QTest::keyClick(zone, Qt::Key_PageUp);
        EXPECT_EQ(values(arrays[c]), (std::array{0, 5, 0, 0}));
        // The master's keys bring its zones back together, a page being 5 and an arrow 1.
        QSlider* master = slider(QString("%1(3)").arg(arrays[c]));
        master->setFocus();
        QTest::keyClick(master, Qt::Key_PageUp);
        QTest::keyClick(master, Qt::Key_Right);
        EXPECT_EQ(values(arrays[c]), (std::array{6, 6, 6, 6}));
        for (int other = c + 1; other < 3; ++other)
            EXPECT_EQ(values(arrays[other]), (std::array{0, 0, 0, 0})) << arrays[other];
    }
}

// A style that jumps the thumb to a click on the track, as some desktop styles do.
class JumpingStyle final : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget, QStyleHintReturn* data) const override
    {
        if (hint == SH_Slider_AbsoluteSetButtons)
            return Qt::LeftButton;
        if (hint == SH_Slider_PageSetButtons)
            return Qt::NoButton;
        return QProxyStyle::styleHint(hint, option, widget, data);
    }
};

TEST_F(MasterSliderTest, AClickOnTheTrackMovesOnePageStepInAnyStyle)
{
    JumpingStyle jumping;
    for (QStyle* style : {static_cast<QStyle*>(nullptr), static_cast<QStyle*>(&jumping)}) {
        SCOPED_TRACE(style ? "a style that jumps to the click" : "the default style");
        QSlider* red = slider("slR(1)");
        if (style)
            red->setStyle(style);
        red->setValue(100);
        const int y = red->height() / 2;
        QTest::mouseClick(red, Qt::LeftButton, {}, QPoint(red->width() - 3, y));
        EXPECT_EQ(red->value(), 105);
        QTest::mouseClick(red, Qt::LeftButton, {}, QPoint(3, y));
        EXPECT_EQ(red->value(), 100);
        red->setStyle(nullptr);
    }
    clickTab(0);
    QSlider* speed = slider("Slider1");
    QTest::mouseClick(speed, Qt::LeftButton, {}, QPoint(speed->width() - 3, speed->height() / 2));
    EXPECT_EQ(speed->value(), 2);
}

} // namespace
} // namespace lumora::test
