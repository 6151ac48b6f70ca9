// What the window looks like on a real X server: a picture of every page kept in the build
// folder, the status swatches read back from the screen, and a render at twice the pixel density.
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QScreen>

#include "ui/icon.hpp"
#include "window_fixture.hpp"

namespace lumora::test {
namespace {

const char* const kPageNames[] = {"RND", "AUTO", "FIXED", "Help"};

class WindowPictureTest : public WindowTest {
protected:
    WindowPictureTest() { freezeTimers(); }

    // Puts three distinct colours into the zones and lets the status tick show them.
    void showZoneColours()
    {
        const int colours[3][3] = {{200, 30, 40}, {10, 180, 60}, {20, 50, 230}}; // left, top, right
        for (std::size_t zone = 0; zone < 3; ++zone) {
            state().CurR[zone] = static_cast<i16>(colours[zone][0]);
            state().CurG[zone] = static_cast<i16>(colours[zone][1]);
            state().CurB[zone] = static_cast<i16>(colours[zone][2]);
        }
        window->Timer2_Timer();
    }

    static QColor zoneColour(const ControllerState& s, std::size_t zone)
    {
        return QColor(s.CurR[zone], s.CurG[zone], s.CurB[zone]);
    }

    // The centre of a left-column control, in window pixels, scaled.
    QPoint centreOf(const char* name, int scale = 1) const
    {
        return control(name)->geometry().center() * scale;
    }

    static QString screenshotDir()
    {
        const QString dir = QStringLiteral(LUMORA_BUILD_DIR "/screenshots");
        QDir().mkpath(dir);
        return dir;
    }
};

TEST_F(WindowPictureTest, EveryPageIsSavedAtTheWindowsSize)
{
    showWindow();
    for (int page = 0; page < 4; ++page) {
        SCOPED_TRACE(kPageNames[page]);
        clickTab(page);
        ASSERT_EQ(tab()->currentIndex(), page);
        const QImage shot = window->grab().toImage();
        EXPECT_EQ(shot.size(), QSize(617, 305));
        const QString path = screenshotDir() + "/page-" + kPageNames[page] + ".png";
        ASSERT_TRUE(shot.save(path)) << path.toStdString();
        EXPECT_TRUE(QImage(path).size() == QSize(617, 305));
    }
}

TEST_F(WindowPictureTest, PagesLookDifferent)
{
    showWindow();
    std::vector<QImage> shots;
    for (int page = 0; page < 4; ++page) {
        clickTab(page);
        shots.push_back(window->grab().toImage());
    }
    for (std::size_t a = 0; a < shots.size(); ++a)
        for (std::size_t b = a + 1; b < shots.size(); ++b)
            EXPECT_NE(shots[a], shots[b]) << kPageNames[a] << " and " << kPageNames[b];
}

TEST_F(WindowPictureTest, SwatchesOnTheScreenShowTheZoneColours)
{
    if (QGuiApplication::platformName() != "xcb")
        GTEST_SKIP() << "needs an X server to read the screen from";
    // Other test programs may show their windows on the same server: keep ours on top.
    window->move(40 + QCoreApplication::applicationPid() % 8 * 100, 40 + QCoreApplication::applicationPid() % 5 * 120);
    showWindow();
    const QColor background = control("col_D")->palette().color(QPalette::Window);
    showZoneColours();
    const auto screenPixel = [this](const char* name) {
        window->raise();
        const QImage onScreen = window->screen()->grabWindow(window->winId()).toImage();
        return onScreen.pixelColor(centreOf(name)).rgb();
    };
    const struct {
        const char* name;
        std::size_t zone;
    } swatches[] = {{"col_L", 0}, {"col_U", 1}, {"col_R", 2}};
    for (const auto& s : swatches) {
        SCOPED_TRACE(s.name);
        const QRgb expected = zoneColour(state(), s.zone).rgb();
        // The X server shows the new colour after the next repaint; wait for it with a bound.
        EXPECT_TRUE(QTest::qWaitFor([&] { return screenPixel(s.name) == expected; }, 5000))
            << std::hex << screenPixel(s.name) << " != " << expected;
    }
    EXPECT_EQ(screenPixel("col_D"), background.rgb());
}

TEST_F(WindowPictureTest, SwatchesInTheGrabCoverTheirWholePlace)
{
    showZoneColours();
    const QImage shot = window->grab().toImage();
    const struct {
        const char* name;
        std::size_t zone;
    } swatches[] = {{"col_L", 0}, {"col_U", 1}, {"col_R", 2}};
    for (const auto& s : swatches) {
        SCOPED_TRACE(s.name);
        // The design lets neighbouring edges share their outermost pixel row; inside it, every
        // pixel is the swatch's own.
        const QRect r = control(s.name)->geometry().adjusted(1, 1, -1, -1);
        const QRgb expected = zoneColour(state(), s.zone).rgb();
        for (const QPoint& p : {r.topLeft(), r.topRight(), r.bottomLeft(), r.bottomRight(), r.center()})
            EXPECT_EQ(shot.pixel(p), expected) << p.x() << "," << p.y();
    }
}

// At twice the density every control is drawn anew, not magnified: the picture has twice the
// pixels each way and its text has detail that a magnified picture lacks.
TEST_F(WindowPictureTest, RendersCrisplyAtTwiceThePixelDensity)
{
    showZoneColours();
    QImage sharp(window->size() * 2, QImage::Format_ARGB32_Premultiplied);
    sharp.setDevicePixelRatio(2.0);
    sharp.fill(Qt::transparent);
    window->render(&sharp);
    ASSERT_EQ(sharp.size(), QSize(1234, 610));
    EXPECT_TRUE(sharp.save(screenshotDir() + "/page-Help-2x.png"));

    // The top swatch's upper edge falls between two device pixels: no blended row between the
    // swatch and the window around it.
    const QRect u = control("col_U")->geometry();
    const QRgb top = zoneColour(state(), 1).rgb();
    const QRgb around = window->palette().color(QPalette::Window).rgb();
    for (int x = u.left() * 2; x < (u.right() + 1) * 2; x += 7) {
        EXPECT_EQ(sharp.pixel(x, u.top() * 2), top) << x;
        EXPECT_EQ(sharp.pixel(x, u.top() * 2 - 1), around) << x;
    }

    const QImage plain = window->grab().toImage();
    const QImage magnified = plain.scaled(plain.size() * 2, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    const QRect text = control("Label6")->geometry().translated(control("Label6")->mapTo(window.get(), QPoint()) -
                                                                 control("Label6")->pos());
    int differing = 0;
    for (int y = text.top() * 2; y < text.bottom() * 2; ++y)
        for (int x = text.left() * 2; x < text.right() * 2; ++x)
            differing += sharp.pixel(x, y) != magnified.pixel(x, y);
    EXPECT_GT(differing, text.width() * text.height() / 20) << "the help text looks magnified, not redrawn";
}

TEST(AppIconTest, ComesAtSixteenAndThirtyTwoPixelsAndScales)
{
    const QIcon icon = appIcon();
    const QList<QSize> sizes = icon.availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(16, 16)));
    EXPECT_TRUE(sizes.contains(QSize(32, 32)));
    for (int side : {16, 32, 256}) {
        SCOPED_TRACE(side);
        const QImage image = icon.pixmap(QSize(side, side)).toImage();
        ASSERT_EQ(image.size(), QSize(side, side));
        // The lit edges: left, top and right each glow in a colour of their own, and the three
        // differ from the dark monitor between them.
        const QColor left = image.pixelColor(side / 16, side / 2);
        const QColor topEdge = image.pixelColor(side / 2, side / 16);
        const QColor right = image.pixelColor(side - 1 - side / 16, side / 2);
        const QColor body = image.pixelColor(side / 2, side / 2);
        for (const QColor& edge : {left, topEdge, right}) {
            EXPECT_EQ(edge.alpha(), 255);
            EXPECT_GT(std::max({edge.red(), edge.green(), edge.blue()}), 150);
            EXPECT_NE(edge.rgb(), body.rgb());
        }
        EXPECT_NE(left.rgb(), topEdge.rgb());
        EXPECT_NE(topEdge.rgb(), right.rgb());
        EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0) << "the corners stay transparent";
    }
}

TEST_F(WindowPictureTest, WindowCarriesTheIcon)
{
    const QImage fromWindow = window->windowIcon().pixmap(QSize(32, 32)).toImage();
    EXPECT_FALSE(fromWindow.isNull());
    EXPECT_EQ(fromWindow, appIcon().pixmap(QSize(32, 32)).toImage());
}

} // namespace
} // namespace lumora::test
