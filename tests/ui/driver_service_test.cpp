// When the driver's output tick runs, beyond Timer1's turns: the service with fakes behind it.
#include <QCoreApplication>
#include <QTimer>

#include <gtest/gtest.h>

#include "../unit/core_fakes.hpp"
#include "service/driver_service.hpp"

namespace lumora::test {
namespace {

// A new picture is read by a tick as soon as the line can carry one (an idle line: at once), not
// at Timer1's next turn, here an hour away. The capture's call only posts; the posted call alone
// runs the tick, with no timer delivered meanwhile.
TEST(DriverServiceTick, ANewPictureIsReadAtOnceWhenTheLineIsIdle)
{
    FakeLine line;
    FakeClock clock;
    LampLink link{line, clock};
    FakeControls controls;
    FakeScreen screen;
    ScriptedRandom random;
    DriverService service(controls, link, screen, random);
    controls.onPageChange = [&] { service.controller().pageSelected(); };
    service.start();
    service.findChild<QTimer*>("Timer1")->start(std::chrono::hours(1));
    service.controller().chooseAuto();
    ASSERT_TRUE(screen.pictureArrived) << "the service does not listen for new pictures";
    const int captures = screen.captures;

    screen.pictureArrived();
    EXPECT_TRUE(line.written.empty()) << "the capture's thread ran the tick itself";
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(screen.captures, captures + 1);
    // One whole tick: the keyboard's packet, then zones 0, 1 and 2.
    std::vector<int> channels;
    for (std::size_t at = 0; at < line.written.size(); at += 5)
        channels.push_back(line.written[at]);
    EXPECT_EQ(channels, (std::vector<int>{3, 0, 1, 2}));
    EXPECT_EQ(line.written.size(), 20u);
}

} // namespace
} // namespace lumora::test
