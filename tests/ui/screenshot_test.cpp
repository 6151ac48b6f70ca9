// A picture of every page of the window, kept as build/screenshots/page-*.png (also `make
// screenshots`), with the zone colours checked in the status swatches of each, and the rate shown.
#include <QDir>
#include <QImage>
#include <QPixmap>

#include "window_fixture.hpp"

namespace lumora::test {
namespace {

class Screenshots : public WindowTest {};

TEST_F(Screenshots, EveryPageIsSavedWithTheZoneColoursInItsSwatches)
{
    const QColor colours[3] = {{200, 30, 40}, {10, 180, 60}, {20, 50, 230}}; // left, top, right
    for (std::size_t zone = 0; zone < 3; ++zone) {
        state().CurR[zone] = static_cast<i16>(colours[zone].red());
        state().CurG[zone] = static_cast<i16>(colours[zone].green());
        state().CurB[zone] = static_cast<i16>(colours[zone].blue());
    }
    window->Timer1_Timer();
    window->Timer2_Timer();
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
