// The real driver reading a Wayland desktop through the desktop portal: colours set on a headless
// compositor reach the board, and a stream that stops is reported and asked for again on AUTO.
#include "driver_run.hpp"
#include "portal_stack.hpp"

namespace lumora::test {
namespace {

// Expected colours worked out by hand from the rules in src/sampling (AUTO page defaults).
// #30a0f0 = (48, 160, 240): mean 149, |48 - 149| > 100, blue boosted to 270; m = 270, s = 2.7f:
// R trunc((17.78 + 10) * 2.55) = 70, G 74, B 203, times 149 / 255: (41, 43, 119). From black:
// R 20 30 36 38 40 (40.5 -> 40), G 22 32 38 40 42 (42.5 -> 42), B 60 90 104 112 116 118 (118.5 -> 118).
constexpr Zones kBlueFromBlack = same(40, 42, 118);
// #c86432 gives (127, 23, 5) (see driver_test.cpp). From (40, 42, 118): R 84 106 116 122 124 126,
// G 32 28 26 24 (23.5 -> 24), B 62 34 20 12 8 6 (5.5 -> 6).
constexpr Zones kOrangeFromBlue = same(126, 24, 6);
// Failed reads: no point is lit or taken, every mean is 0, so the correction gives black.
constexpr Zones kDark = same(0, 0, 0);
// #30a0f0 after #c86432 from black, (126, 22, 4): R 84 62 52 46 44 42 (41.5 -> 42), G 32 38 40 42, B as from black.
constexpr Zones kBlueFromOrange = same(42, 42, 118);

TEST(PortalCapture, ZonesFollowTheScreenAndAStoppedStreamIsAskedForAgainOnAuto)
{
    if (const std::string why = PortalStack::unavailable(); !why.empty())
        GTEST_SKIP() << why;
    PortalStack stack;
    DriverRun d({"--capture", "portal"}, {}, stack.clientEnvironment());
    d.xvfb.x("xdotool", {"windowmove", "--sync", d.window(), "650", "700"}); // out of the X screen's way
    const auto startStream = [&] {
        d.click(kAutoButton);
        return QTest::qWaitFor([&] { return stack.backendLog().find("stream state changed to \"streaming\"") != std::string::npos; }, 30000);
    };
    // Paints the desktop until the zones rest on one of `zones`. A new stream's size may become
    // known only after the colour was set, so it is set again every few seconds.
    const auto shows = [&](const char* colour, std::initializer_list<Zones> zones) {
        return QTest::qWaitFor([&] { return stack.setBackground(colour), d.settlesOn(zones, 3000); }, 40000);
    };
    ASSERT_TRUE(startStream()) << d.program.err() << stack.logs();
    // The zones follow the stream from its first frame, whatever that shows: black first, so that
    // the blue below is reached from black.
    ASSERT_TRUE(shows("#000000", {kDark})) << d.lastTickText() << stack.logs();
    ASSERT_TRUE(shows("#30a0f0", {kBlueFromBlack})) << d.lastTickText() << stack.logs();
    EXPECT_TRUE(shows("#c86432", {kOrangeFromBlue})) << d.lastTickText();

    // The stream goes away: standard error says so, AUTO reads failed points, the program runs on.
    stack.stopBackend();
    EXPECT_TRUE(QTest::qWaitFor([&] { return d.program.err().find("choose AUTO to ask again") != std::string::npos; }, kBound))
        << d.program.err();
    EXPECT_TRUE(d.settlesOn({kDark})) << d.lastTickText();
    EXPECT_TRUE(d.program.running());

    // Choosing AUTO again asks anew, offering the permission kept from the first start. The new
    // stream may first show the old colour again, so the zones may come from either.
    stack.startBackend();
    ASSERT_TRUE(startStream()) << d.program.err();
    EXPECT_NE(stack.backendLog().find("restore data available"), std::string::npos) << stack.backendLog();
    EXPECT_TRUE(shows("#30a0f0", {kBlueFromBlack, kBlueFromOrange})) << d.lastTickText();
}

} // namespace
} // namespace lumora::test
