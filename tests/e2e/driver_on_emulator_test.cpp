// The real driver on the real board emulator, driven through its window: what the emulated
// board reads is what a user's choices should send.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "driver_run.hpp"

namespace lumora::test {
namespace {

// Points on the track of a colour slider, right of its handle: a click there adds one page (5).
constexpr ButtonAt kZone0RedTrack{343, 186};
constexpr ButtonAt kMasterGreenTrack{583, 98};
const std::vector<std::string> kOffLines{"0 0 0 0 13", "1 0 0 0 13", "2 0 0 0 13"};

// The channels of the lines from `from` on, starting at the first keyboard packet, repeat `order`.
void expectTickOrder(const std::vector<std::string>& lines, std::size_t from, const std::string& order)
{
    std::string channels;
    for (std::size_t i = from; i < lines.size(); ++i)
        channels += lines[i][0];
    const auto start = channels.find('3');
    ASSERT_NE(start, std::string::npos);
    for (std::size_t i = start; i < channels.size(); ++i)
        EXPECT_EQ(channels[i], order[(i - start) % order.size()]) << "line " << from + i;
}

TEST(DriverOnEmulator, WindowChoicesReachTheBoard)
{
    const std::string link = tempDir() + "/board";
    Process emulator = Process::start({LUMORA_SIM_PATH, "--headless", "--dump", "--link", link});
    ASSERT_TRUE(waitFor([&] { return emulator.errorOutput().find("emulated board on") != std::string::npos; }))
        << emulator.errorOutput();
    DriverRun d({}, link);
    const auto w = d.window();
    // The packets the emulated board has read, one "c r g b 13" line each.
    const auto lines = [&] {
        std::vector<std::string> out;
        std::istringstream in(emulator.output());
        for (std::string line; std::getline(in, line);)
            out.push_back(line);
        return out;
    };
    // Waits until `line` appears after line `from`; returns its index.
    const auto waitForLine = [&](const std::string& line, std::size_t from = 0) {
        std::optional<std::size_t> found;
        waitFor([&] {
            const auto all = lines();
            const auto at = std::find(all.begin() + static_cast<long>(std::min(from, all.size())), all.end(), line);
            if (at != all.end())
                found = static_cast<std::size_t>(at - all.begin());
            return found.has_value();
        });
        return found;
    };

    ASSERT_TRUE(waitFor([&] { return lines().size() >= 40; }));
    for (const auto& line : lines())
        EXPECT_EQ(line, "3 0 0 0 13") << "start-up sends only keyboard packets";

    d.click(kFixedButton);
    const auto fixedAt = waitForLine("0 0 0 0 13");
    ASSERT_TRUE(fixedAt);
    d.click(kZone0RedTrack);
    const auto redAt = waitForLine("0 5 0 0 13", *fixedAt);
    ASSERT_TRUE(redAt) << "the zone 0 red slider did not reach the board";
    d.click(kMasterGreenTrack);
    EXPECT_TRUE(waitForLine("0 5 5 0 13", *redAt)) << "the green master did not reach zone 0";
    EXPECT_TRUE(waitForLine("1 0 5 0 13", *redAt)) << "the green master did not reach zone 1";
    EXPECT_TRUE(waitForLine("2 0 5 0 13", *redAt)) << "the green master did not reach zone 2";
    expectTickOrder(lines(), *fixedAt, "3012");

    const std::size_t beforeOff = lines().size();
    d.click(kOffButton);
    const auto offAt = waitForLine("2 0 0 0 13", beforeOff);
    ASSERT_TRUE(offAt && *offAt >= 2);
    const auto atOff = lines();
    EXPECT_EQ(std::vector<std::string>(atOff.begin() + static_cast<long>(*offAt) - 2,
                                       atOff.begin() + static_cast<long>(*offAt) + 1),
              kOffLines);
    ASSERT_TRUE(waitFor([&] { return lines().size() >= *offAt + 20; }));
    expectTickOrder(lines(), *offAt + 1, "3");

    // Closing the window: the driver has ended, so what the board read last ends the stream.
    d.input.close(w);
    EXPECT_EQ(d.process.wait(), 0);
    std::vector<std::string> all;
    waitFor([&] {
        all = lines();
        return !all.empty() && all.back() == kOffLines.back();
    });
    ASSERT_GE(all.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(all.end() - 3, all.end()), kOffLines);
}

} // namespace
} // namespace lumora::test
