// The real driver on the real board emulator, driven through its window: what the emulated
// board reads is what a user's choices should send.
#include <gtest/gtest.h>

#include <sstream>

#include "driver_run.hpp"

namespace lumora::test {
namespace {

using namespace std::chrono_literals;

// Points on the track of a colour slider, right of its handle: a click there adds one page (5).
constexpr ButtonAt kZone0RedTrack{343, 186};
constexpr ButtonAt kMasterGreenTrack{583, 98};

struct OnEmulator {
    OnEmulator()
    {
        emulator = Process::start({LUMORA_SIM_PATH, "--headless", "--dump", "--link", link});
        EXPECT_TRUE(waitFor([&] { return emulator.errorOutput().find("emulated board on") != std::string::npos; }))
            << emulator.errorOutput();
        driver = std::make_unique<DriverRun>(std::vector<std::string>{}, link);
        driver->window();
    }

    // The packets the emulated board has read, one "c r g b 13" line each.
    std::vector<std::string> lines() const
    {
        std::vector<std::string> out;
        std::istringstream in(emulator.output());
        for (std::string line; std::getline(in, line);)
            out.push_back(line);
        return out;
    }

    // Waits until a line matching `line` appears after line `from`; returns its index.
    std::optional<std::size_t> waitForLine(const std::string& line, std::size_t from = 0)
    {
        std::optional<std::size_t> found;
        waitFor([&] {
            const auto all = lines();
            for (std::size_t i = from; i < all.size(); ++i)
                if (all[i] == line) {
                    found = i;
                    return true;
                }
            return false;
        });
        return found;
    }

    std::string link = tempDir() + "/board";
    Process emulator;
    std::unique_ptr<DriverRun> driver;
};

// Channels of whole ticks from line `from` on: each tick starts with the keyboard packet.
std::vector<std::vector<int>> ticksFrom(const std::vector<std::string>& lines, std::size_t from)
{
    std::vector<std::vector<int>> ticks;
    for (std::size_t i = from; i < lines.size(); ++i) {
        const int channel = lines[i][0] - '0';
        if (channel == 3)
            ticks.emplace_back();
        if (!ticks.empty())
            ticks.back().push_back(channel);
    }
    if (!ticks.empty())
        ticks.pop_back(); // may still be arriving
    return ticks;
}

TEST(DriverOnEmulator, StartupSendsOnlyKeyboardPackets)
{
    OnEmulator run;
    ASSERT_TRUE(waitFor([&] { return run.lines().size() >= 40; }));
    for (const auto& line : run.lines())
        EXPECT_EQ(line, "3 0 0 0 13");
}

TEST(DriverOnEmulator, ModeButtonsAndSlidersReachTheBoard)
{
    OnEmulator run;
    DriverRun& d = *run.driver;

    d.click(kFixedButton);
    const auto fixedAt = run.waitForLine("0 0 0 0 13");
    ASSERT_TRUE(fixedAt);
    d.input.click(d.window(), kZone0RedTrack.x, kZone0RedTrack.y);
    const auto redAt = run.waitForLine("0 5 0 0 13", *fixedAt);
    ASSERT_TRUE(redAt) << "the zone 0 red slider did not reach the board";
    d.input.click(d.window(), kMasterGreenTrack.x, kMasterGreenTrack.y);
    const auto greenAt = run.waitForLine("2 0 5 0 13", *redAt);
    ASSERT_TRUE(greenAt) << "the green master did not reach the zones";
    EXPECT_TRUE(run.waitForLine("0 5 5 0 13", *redAt));
    EXPECT_TRUE(run.waitForLine("1 0 5 0 13", *redAt));
    for (const auto& tick : ticksFrom(run.lines(), *fixedAt))
        EXPECT_EQ(tick, (std::vector<int>{3, 0, 1, 2}));

    const std::size_t beforeOff = run.lines().size();
    d.click(kOffButton);
    const auto offAt = run.waitForLine("2 0 0 0 13", beforeOff);
    ASSERT_TRUE(offAt);
    const auto all = run.lines();
    ASSERT_GE(*offAt, 2u);
    EXPECT_EQ(all[*offAt - 2], "0 0 0 0 13");
    EXPECT_EQ(all[*offAt - 1], "1 0 0 0 13");
    ASSERT_TRUE(waitFor([&] { return run.lines().size() >= *offAt + 20; }));
    for (const auto& tick : ticksFrom(run.lines(), *offAt + 1))
        EXPECT_EQ(tick, std::vector<int>{3});
}

TEST(DriverOnEmulator, ClosingTheDriverEndsTheDumpWithTheOffPackets)
{
    OnEmulator run;
    DriverRun& d = *run.driver;
    d.click(kFixedButton);
    // A colour that no off packet has, so that the stream's end tells the two apart.
    d.input.click(d.window(), kZone0RedTrack.x, kZone0RedTrack.y);
    ASSERT_TRUE(run.waitForLine("0 5 0 0 13"));
    d.input.close(d.window());
    EXPECT_EQ(d.process.wait(), 0);
    // The driver has ended, so whatever the board read last is the end of the stream.
    std::vector<std::string> all;
    waitFor([&] {
        all = run.lines();
        return all.size() >= 3 && all.back() == "2 0 0 0 13";
    });
    ASSERT_GE(all.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(all.end() - 3, all.end()),
              (std::vector<std::string>{"0 0 0 0 13", "1 0 0 0 13", "2 0 0 0 13"}));
}

} // namespace
} // namespace lumora::test
