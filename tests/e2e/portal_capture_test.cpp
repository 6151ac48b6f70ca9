// The real driver reading a Wayland desktop through the desktop portal: colours set on a headless
// compositor reach the board, a stream that stops is reported and asked for again on AUTO, the
// permission is remembered, and a missing portal leaves the program running.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <iostream>

#include "driver_run.hpp"
#include "portal_stack.hpp"
#include "pipeline.hpp"

namespace lumora::test {
namespace {

using namespace std::chrono_literals;

ZoneColours settleOn(Colour c, ZoneColours from) { return test::settleOn(c, from, {PortalStack::kWidth, PortalStack::kHeight}); }

std::string hex(Colour c)
{
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
    return text;
}

// The driver on its own X server (for its window and the clicks) with its screen read through
// the portal of the bus in `env`; its packets read from a pseudo-terminal.
struct PortalDriver : DriverRun {
    explicit PortalDriver(const Environment& env, const std::vector<std::string>& args = {"--capture", "portal"})
        : DriverRun(args, "", "1920x1080x24", env)
    {
    }
};

// Sets a colour and measures, from the compositor taking it, how long until the first zone packet
// that shows the change leaves and until the zones rest on the new colour.
struct Change {
    std::chrono::milliseconds firstPacket{-1};
    std::chrono::milliseconds settled{-1};
};

Change changeTo(PortalStack& stack, PortalDriver& d, Colour colour, const ZoneColours& from, const ZoneColours& to)
{
    d.readUntil([] { return true; }, 0ms);
    const std::size_t before = d.packetCount();
    const auto start = std::chrono::steady_clock::now();
    stack.setBackground(hex(colour));
    Change c;
    const bool settled = d.readUntil(
        [&] {
            const auto sent = d.packetsFrom(before);
            if (c.firstPacket.count() < 0) {
                for (std::size_t i = 0; i < sent.size(); ++i) {
                    if (const auto tick = DriverRun::tickAt(sent, i); tick && *tick != from) {
                        c.firstPacket = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - start);
                        break;
                    }
                }
            }
            return d.lastTickShows({to});
        },
        30s);
    if (settled)
        c.settled = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    return c;
}

mode_t modeOf(const std::string& path)
{
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

class PortalCapture : public testing::Test {
protected:
    void SetUp() override
    {
        if (const std::string why = portalStackUnavailable(); !why.empty())
            GTEST_SKIP() << why;
        stack_.emplace();
    }
    void TearDown() override
    {
        if (HasFailure() && stack_)
            std::cerr << stack_->logs() << '\n';
    }
    std::optional<PortalStack> stack_;
};

TEST_F(PortalCapture, ZonesFollowColoursSetAfterTheStreamStarts)
{
    PortalStack& stack = *stack_;
    PortalDriver d(stack.clientEnvironment());
    d.input.move(d.window(), 650, 700);
    d.click(kAutoButton);
    ASSERT_TRUE(waitFor([&] { return stack.backendStreaming(); }, 30s)) << d.process.errorOutput();

    const Colour first = rgb(0x30, 0xa0, 0xf0);
    const Colour second = rgb(200, 100, 50);
    const ZoneColours atFirst = settleOn(first, {});
    const ZoneColours atSecond = settleOn(second, atFirst);
    const ZoneColours backAtFirst = settleOn(first, atSecond);
    // With red and blue swapped the lamps would show other colours, so the checks below see it.
    ASSERT_NE(settleOn(rgb(0xf0, 0xa0, 0x30), atFirst), atFirst);
    ASSERT_NE(settleOn(rgb(50, 100, 200), atSecond), atSecond);
    ASSERT_NE(atFirst, atSecond);

    // Until the size is known (the first screen tick after the stream runs) the zones are empty;
    // the first colour is set again until it shows, as the resolution may arrive after it.
    EXPECT_TRUE(waitFor(
        [&] {
            stack.setBackground(hex(first));
            return d.readUntil([&] { return d.lastTickShows({atFirst}); }, 3s);
        },
        40s))
        << "did not settle on " << hex(first) << "; " << d.describeLastTick() << "\n" << d.process.errorOutput();

    const Change toSecond = changeTo(stack, d, second, atFirst, atSecond);
    EXPECT_GE(toSecond.settled.count(), 0) << "did not settle on " << hex(second) << "\n" << d.process.errorOutput();
    const Change back = changeTo(stack, d, first, atSecond, backAtFirst);
    EXPECT_GE(back.settled.count(), 0) << "did not settle back on " << hex(first);
    std::cout << "screen change to first zone packet: " << toSecond.firstPacket.count() << " ms, "
              << back.firstPacket.count() << " ms; to settled zones: " << toSecond.settled.count() << " ms, "
              << back.settled.count() << " ms\n";
    RecordProperty("change_to_packet_ms", static_cast<int>(toSecond.firstPacket.count()));

    // The permission is kept for the next start, privately.
    const std::string folder = stack.folder() + "/state/lumora-driver";
    EXPECT_EQ(modeOf(folder), 0700u);
    EXPECT_EQ(modeOf(folder + "/screencast-restore-token"), 0600u);
    EXPECT_TRUE(d.process.running());
}

TEST_F(PortalCapture, StoppedStreamIsReportedAndAskedForAgainOnAuto)
{
    PortalStack& stack = *stack_;
    PortalDriver d(stack.clientEnvironment());
    d.input.move(d.window(), 650, 700);
    d.click(kAutoButton);
    ASSERT_TRUE(waitFor([&] { return stack.backendStreaming(); }, 30s)) << d.process.errorOutput();
    const Colour colour = rgb(200, 100, 50);
    const ZoneColours lit = settleOn(colour, {});
    ASSERT_TRUE(waitFor(
        [&] {
            stack.setBackground(hex(colour));
            return d.readUntil([&] { return d.lastTickShows({lit}); }, 3s);
        },
        40s))
        << d.process.errorOutput();

    // The stream goes away: the window and standard error say so, AUTO reads failed points, and
    // the program keeps running.
    stack.stopBackend();
    EXPECT_TRUE(waitFor([&] { return d.process.errorOutput().find("choose AUTO to ask again") != std::string::npos; },
                        20s))
        << d.process.errorOutput();
    const ZoneColours dark = settleOn(kFailedPixel, lit);
    ASSERT_NE(dark, lit);
    EXPECT_TRUE(d.settlesOn({dark})) << d.describeLastTick();
    EXPECT_TRUE(d.process.running());

    // Choosing AUTO again asks anew, offering the permission kept from the first start.
    stack.startBackend();
    d.click(kAutoButton);
    ASSERT_TRUE(waitFor([&] { return stack.backendStreaming(); }, 30s)) << d.process.errorOutput();
    EXPECT_NE(stack.backendLog().find("restore data available"), std::string::npos) << stack.backendLog();
    const Colour next = rgb(0x30, 0xa0, 0xf0);
    // The new stream may first show the old colour again, so the zones may start from either.
    const ZoneColours fromDark = settleOn(next, dark);
    const ZoneColours fromLit = settleOn(next, settleOn(colour, dark));
    EXPECT_TRUE(waitFor(
        [&] {
            stack.setBackground(hex(next));
            return d.readUntil([&] { return d.lastTickShows({fromDark, fromLit}); }, 3s);
        },
        40s))
        << d.process.errorOutput();
}

std::size_t occurrences(const std::string& text, const std::string& what)
{
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

TEST_F(PortalCapture, RefusedRequestIsReportedAndAskedAgainOnlyOnAuto)
{
    PortalStack& stack = *stack_;
    stack.stopBackend();
    stack.startBackend(true);
    PortalDriver d(stack.clientEnvironment());
    d.input.move(d.window(), 650, 700);
    d.click(kAutoButton);
    EXPECT_TRUE(waitFor([&] { return d.process.errorOutput().find("cancelled") != std::string::npos; }, 20s))
        << d.process.errorOutput();
    // Over 1500 ticks (several screen ticks) nobody is asked again, and AUTO reads failed points.
    // (The first answer may come before the click, which then asks once more.)
    const std::size_t from = d.packetCount();
    const std::size_t asked = occurrences(stack.backendLog(), "select sources method invoked");
    EXPECT_GE(asked, 1u);
    EXPECT_TRUE(d.readUntil([&] { return d.packetCount() >= from + 4 * 1500; }, 60s));
    EXPECT_EQ(occurrences(stack.backendLog(), "select sources method invoked"), asked) << stack.backendLog();
    EXPECT_EQ(d.process.errorOutput().find("desktop ended"), std::string::npos) << d.process.errorOutput();
    const ZoneColours dark = settleOn(kFailedPixel, {});
    EXPECT_TRUE(d.lastTickShows({dark})) << d.describeLastTick();

    // Choosing AUTO asks again; this time the user agrees.
    stack.stopBackend();
    stack.startBackend();
    d.click(kAutoButton);
    ASSERT_TRUE(waitFor([&] { return stack.backendStreaming(); }, 30s)) << d.process.errorOutput();
    const Colour colour = rgb(200, 100, 50);
    const ZoneColours lit = settleOn(colour, dark);
    EXPECT_TRUE(waitFor(
        [&] {
            stack.setBackground(hex(colour));
            return d.readUntil([&] { return d.lastTickShows({lit}); }, 3s);
        },
        40s))
        << d.describeLastTick() << "\n" << d.process.errorOutput();
}

TEST(PortalChoice, CaptureFollowsTheSessionUnlessChosenAndAMissingPortalIsExplained)
{
    if (const std::string why = portalStackUnavailable(true); !why.empty())
        GTEST_SKIP() << why;
    const std::string folder = tempDir();
    SessionBus bus(folder); // no portal on it
    const char* const kMissing = "desktop portal is missing";
    const char* const kNoX = "DISPLAY is not set";
    struct Case {
        const char* what;
        std::vector<std::string> args;
        Environment env;
        const char* says;
    };
    const std::vector<Case> cases = {
        {"Wayland session", {}, {{"WAYLAND_DISPLAY", "wayland-0"}, {"XDG_SESSION_TYPE", "wayland"}}, kMissing},
        {"Wayland display alone", {}, {{"WAYLAND_DISPLAY", "wayland-0"}, {"XDG_SESSION_TYPE", std::nullopt}}, kMissing},
        {"X11 session", {}, {{"WAYLAND_DISPLAY", std::nullopt}, {"XDG_SESSION_TYPE", "x11"}}, kNoX},
        {"X11 despite Wayland", {"--capture", "x11"}, {{"WAYLAND_DISPLAY", "wayland-0"}}, kNoX},
        {"portal despite X11", {"--capture=portal"}, {{"WAYLAND_DISPLAY", std::nullopt}, {"XDG_SESSION_TYPE", "x11"}}, kMissing},
    };
    // All at once: each answer comes with the first screen tick, 5 s after the start.
    std::vector<std::unique_ptr<Pty>> ptys;
    std::vector<Process> runs;
    for (const Case& c : cases) {
        ptys.push_back(std::make_unique<Pty>());
        std::vector<std::string> argv{LUMORA_DRIVER_PATH, "--port", ptys.back()->slavePath()};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        Environment env = c.env;
        env["DBUS_SESSION_BUS_ADDRESS"] = bus.address();
        env["DISPLAY"] = std::nullopt;
        env["QT_QPA_PLATFORM"] = "offscreen";
        env["XDG_STATE_HOME"] = folder + "/state";
        runs.push_back(Process::start(argv, env));
    }
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].what);
        EXPECT_TRUE(waitFor([&] { return runs[i].errorOutput().find(cases[i].says) != std::string::npos; }, 20s))
            << runs[i].errorOutput();
        // The lamps go on being driven: keyboard packets keep coming.
        EXPECT_TRUE(runs[i].running());
        EXPECT_FALSE(ptys[i]->read(1s).empty());
    }

    auto bad = Process::start({LUMORA_DRIVER_PATH, "--capture", "wayland"}, {{"DISPLAY", std::nullopt}});
    EXPECT_EQ(bad.wait(), 2);
    EXPECT_NE(bad.errorOutput().find("takes x11, portal or auto"), std::string::npos) << bad.errorOutput();
}

} // namespace
} // namespace lumora::test
