// When the driver's output ticks come: the service with fakes behind it.
#include <QTimer>

#include <gtest/gtest.h>

#include "../unit/core_fakes.hpp"
#include "service/driver_service.hpp"

namespace lumora::test {
namespace {

// Paced by the line, the turn after a tick waits until the line has carried what it holds (here
// the board's driver still holds 40 bytes, about 20 ms of line time), where a turn every 10 ms would
// find the line busy and skip its tick.
TEST(DriverServiceTick, PacedByTheLineTheNextTurnWaitsForTheLine)
{
    FakeLine line;
    FakeClock clock;
    LampLink link{line, clock};
    FakeControls controls;
    FakeScreen screen;
    ScriptedRandom random;
    DriverService service(controls, link, screen, random);
    service.setTickPace(TickPace::Line);
    service.start();
    line.reportedPending = 40;

    service.Timer1_Timer();
    const QTimer* timer1 = service.findChild<QTimer*>("Timer1");
    ASSERT_NE(timer1, nullptr);
    EXPECT_TRUE(timer1->isActive());
    EXPECT_GT(timer1->intervalAsDuration(), std::chrono::milliseconds(10));
}

} // namespace
} // namespace lumora::test
