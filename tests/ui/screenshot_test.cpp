// What the window looks like: a picture of every page kept in the build folder with the status
// swatches checked in it, a render at twice the pixel density, and the icon.
#include <QDir>
#include <QImage>
#include <QPixmap>

#include "ui/icon.hpp"
#include "window_fixture.hpp"

namespace lumora::test {
namespace {

class WindowPictureTest : public WindowTest {
protected:
    // Puts three distinct colours into the zones and lets the status tick show them.
    WindowPictureTest()
    {
        freezeAndShow();
        for (std::size_t zone = 0; zone < 3; ++zone) {
            state().CurR[zone] = static_cast<i16>(colours[zone].red());
            state().CurG[zone] = static_cast<i16>(colours[zone].green());
            state().CurB[zone] = static_cast<i16>(colours[zone].blue());
        }
        fire("Timer2");
        QDir().mkpath(dir);
    }
    const QColor colours[3] = {{200, 30, 40}, {10, 180, 60}, {20, 50, 230}}; // left, top, right
    const QString dir = QStringLiteral(LUMORA_BUILD_DIR "/screenshots");
};

TEST_F(WindowPictureTest, EveryPageIsSavedWithTheZoneColoursInItsSwatches)
{
    const char* const pageNames[] = {"RND", "AUTO", "FIXED", "Help"};
    for (int page = 0; page < 4; ++page) {
        SCOPED_TRACE(pageNames[page]);
        clickTab(page);
        ASSERT_EQ(tab()->currentIndex(), page);
        const QImage shot = window->grab().toImage();
        const QString path = dir + "/page-" + pageNames[page] + ".png";
        ASSERT_TRUE(shot.save(path)) << path.toStdString();
        EXPECT_EQ(QImage(path).size(), QSize(617, 305));
        const std::pair<const char*, std::size_t> swatches[] = {{"col_L", 0}, {"col_U", 1}, {"col_R", 2}};
        for (const auto& [name, zone] : swatches) {
            // Neighbouring edges may share their outermost pixel row; inside it, every pixel is the swatch's.
            const QRect r = control(name)->geometry().adjusted(1, 1, -1, -1);
            for (const QPoint& p : {r.topLeft(), r.topRight(), r.bottomLeft(), r.bottomRight(), r.center()})
                EXPECT_EQ(shot.pixel(p), colours[zone].rgb()) << name << " at " << p.x() << "," << p.y();
        }
    }
}

// At twice the density every control is drawn anew: twice the pixels each way, and the top swatch's
// upper edge falls between two device pixels with no blended row.
TEST_F(WindowPictureTest, RendersAtTwiceThePixelDensity)
{
    QImage sharp(window->size() * 2, QImage::Format_ARGB32_Premultiplied);
    sharp.setDevicePixelRatio(2.0);
    sharp.fill(Qt::transparent);
    window->render(&sharp);
    ASSERT_EQ(sharp.size(), QSize(1234, 610));
    EXPECT_TRUE(sharp.save(dir + "/page-Help-2x.png"));
    const QRect u = control("col_U")->geometry();
    const QRgb around = window->palette().color(QPalette::Window).rgb();
    for (int x = u.left() * 2; x < (u.right() + 1) * 2; x += 7) {
        EXPECT_EQ(sharp.pixel(x, u.top() * 2), colours[1].rgb()) << x;
        EXPECT_EQ(sharp.pixel(x, u.top() * 2 - 1), around) << x;
    }
}

TEST_F(WindowPictureTest, IconShowsThreeLitEdgesAtEverySize)
{
    const QIcon icon = appIcon();
    EXPECT_TRUE(icon.availableSizes().contains(QSize(16, 16)));
    EXPECT_TRUE(icon.availableSizes().contains(QSize(32, 32)));
    EXPECT_EQ(window->windowIcon().pixmap(QSize(32, 32)).toImage(), icon.pixmap(QSize(32, 32)).toImage());
    for (int side : {16, 32, 256}) {
        SCOPED_TRACE(side);
        const QImage image = icon.pixmap(QSize(side, side)).toImage();
        ASSERT_EQ(image.size(), QSize(side, side));
        // Left, top and right each glow in a colour of their own, unlike the dark monitor between them.
        const QColor body = image.pixelColor(side / 2, side / 2);
        const QColor edges[] = {image.pixelColor(side / 16, side / 2), image.pixelColor(side / 2, side / 16),
                                image.pixelColor(side - 1 - side / 16, side / 2)};
        for (const QColor& edge : edges) {
            EXPECT_EQ(edge.alpha(), 255);
            EXPECT_GT(std::max({edge.red(), edge.green(), edge.blue()}), 150);
            EXPECT_NE(edge.rgb(), body.rgb());
        }
        EXPECT_NE(edges[0].rgb(), edges[1].rgb());
        EXPECT_NE(edges[1].rgb(), edges[2].rgb());
        EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0) << "the corners stay transparent";
    }
}

} // namespace
} // namespace lumora::test
