// The real driver on the real board emulator, driven through its window: what the emulated board
// reads is what a user's choices should send, and the emulator removes its link when it ends.
#include <signal.h>

#include <filesystem>
#include <sstream>

#include "driver_run.hpp"

namespace lumora::test {
namespace {

// Points on the track of a colour slider, right of its handle: a click there adds one page (5).
constexpr At kZone0RedTrack{343, 186}, kMasterGreenTrack{583, 98};

TEST(DriverOnEmulator, WindowChoicesReachTheBoard)
{
    QTemporaryDir dir;
    const std::string link = dir.filePath("board").toStdString();
    QProcessEnvironment headless = QProcessEnvironment::systemEnvironment();
    headless.remove("DISPLAY");
    Program emulator(LUMORA_SIM_PATH, {"--headless", "--dump", "--link", QString::fromStdString(link)}, headless);
    ASSERT_TRUE(QTest::qWaitFor([&] { return emulator.err().find("emulated board on") != std::string::npos; }, kBound));
    DriverRun d({}, link);
    d.window();
    // The packets the emulated board has read, one "c r g b 13" line each.
    const auto lines = [&] {
        std::vector<std::string> out;
        std::istringstream in(emulator.out());
        for (std::string line; std::getline(in, line);)
            out.push_back(line);
        return out;
    };
    // Waits until `line` appears after line `from`; returns its index (or the number of lines).
    const auto lineAt = [&](const std::string& line, std::size_t from) {
        std::size_t at = 0;
        (void)QTest::qWaitFor([&] { // a line not found is reported by the caller
            const auto all = lines();
            at = static_cast<std::size_t>(std::find(all.begin() + static_cast<long>(std::min(from, all.size())), all.end(), line) - all.begin());
            return at < all.size();
        }, kBound);
        return at;
    };

    d.click(kFixedButton);
    const std::size_t fixedAt = lineAt("0 0 0 0 13", 0);
    ASSERT_LT(fixedAt, lines().size()) << "FIXED did not reach the board";
    d.click(kZone0RedTrack);
    const std::size_t redAt = lineAt("0 5 0 0 13", fixedAt);
    d.click(kMasterGreenTrack);
    for (const char* line : {"0 5 5 0 13", "1 0 5 0 13", "2 0 5 0 13"})
        EXPECT_LT(lineAt(line, redAt), lines().size()) << line << " did not reach the board";
    // Whole ticks in order: keyboard, zones 0, 1, 2.
    const auto ticks = lines();
    std::string channels;
    for (std::size_t i = fixedAt - 1; i < ticks.size(); ++i)
        channels += ticks[i][0];
    for (std::size_t i = 0; i < channels.size(); ++i)
        EXPECT_EQ(channels[i], "3012"[i % 4]) << "line " << fixedAt - 1 + i;

    d.program.signal(SIGINT);
    EXPECT_EQ(d.program.wait(), 0) << d.program.err();
    ASSERT_TRUE(QTest::qWaitFor([&] { return lines().back() == "2 0 0 0 13"; }, kBound));
    const auto all = lines();
    EXPECT_EQ(std::vector<std::string>(all.end() - 3, all.end()),
              (std::vector<std::string>{"0 0 0 0 13", "1 0 0 0 13", "2 0 0 0 13"}));
    emulator.signal(SIGTERM);
    EXPECT_EQ(emulator.wait(), 0) << emulator.err();
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
}

} // namespace
} // namespace lumora::test
