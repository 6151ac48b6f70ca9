// Fakes for the controller's seams: the window's controls, a serial line, a clock, a screen and
// a random source.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <deque>
#include <functional>
#include <map>
#include <vector>

#include "control/controller.hpp"

namespace lumora::test {

using Bytes = std::vector<std::uint8_t>;

struct FakeClock final : Clock {
    std::chrono::steady_clock::time_point now() const override { return time; }
    void sleepFor(std::chrono::milliseconds d) const override { time += d; }
    void advance(std::chrono::microseconds d) { time += d; }
    mutable std::chrono::steady_clock::time_point time{std::chrono::seconds(1000)};
};

// Records every byte the link hands over; can take fewer bytes than offered, fail, or refuse to open.
struct FakeLine final : SerialLine {
    void open() override
    {
        if (++opens; !openFailures.empty()) {
            const LinkError::Kind kind = openFailures.front();
            openFailures.pop_front();
            throw LinkError(kind, "cannot open the board's port /dev/fake");
        }
        opened = true, failWrites = false;
    }
    bool isOpen() const override { return opened; }
    std::size_t write(std::span<const std::uint8_t> bytes) override
    {
        if (++writeCalls, failWrites)
            throw LinkError(LinkError::Kind::Lost, "lost the board on /dev/fake: Input/output error");
        std::size_t n = bytes.size();
        if (!accepts.empty())
            n = std::min(n, accepts.front()), accepts.pop_front();
        written.insert(written.end(), bytes.begin(), bytes.begin() + static_cast<long>(n));
        return n;
    }
    long pending() const override { return reportedPending; }
    bool drain(std::chrono::milliseconds) override { return true; }
    void close() override { opened = false, ++closes; }
    const std::string& path() const override { return portPath; }
    UserText sought() const override { return {portPath, portPath}; }

    Bytes written;
    std::deque<std::size_t> accepts; // per write call: at most this many bytes taken
    bool failWrites = false;
    std::deque<LinkError::Kind> openFailures; // per open: why it fails; none left, it opens
    int opens = 0, closes = 0, writeCalls = 0;
    long reportedPending = 0;
    bool opened = false;
    std::string portPath = "/dev/fake";
};

struct FakeControls final : Controls {
    int colourSlider(Channel c, int i) const override { return sliders.at(static_cast<std::size_t>(c)).at(static_cast<std::size_t>(i)); }
    void setColourSlider(Channel c, int i, int v) override { sliders.at(static_cast<std::size_t>(c)).at(static_cast<std::size_t>(i)) = v; }
    int slW() const override { return duringTick ? duringTick(), keyboard : keyboard; }
    void setSlW(int v) override { keyboard = v; }
    int Slider1() const override { return speed; }
    bool optRNDbright() const override { return true; }
    bool chkRndOnecolor() const override { return false; }
    bool optAUTO1() const override { return true; }
    bool chkMark() const override { return false; }
    bool chkResAuto() const override { return resAuto; }
    std::string text(TextBox box) const override { return texts.at(box); }
    void setText(TextBox box, const std::string& t) override { texts[box] = t; }
    int selectedPage() const override { return page; }
    // As a tab control: selecting another page runs the page handler; the current one does nothing.
    void selectPage(int p) override { p != page ? page = p, onPageChange() : void(); }
    void showStatus(const StatusView& v) override { status = v; }
    void showSettingsMessage(const std::string& m) override { settingsMessage = m; }
    void showResolutionMessage(const std::string& m) override { resolutionMessages.push_back(m); }
    void showLinkState(const UserText& m) override { linkState = m; }
    void showCaptureState(const UserText& m) override { captureStates.push_back(m); }
    void showPauseState(const UserText& m) override { pauseState = m; }

    std::array<std::array<int, 4>, 3> sliders{};
    int keyboard = 0, speed = 1, page = 3;
    bool resAuto = true;
    std::map<TextBox, std::string> texts{{TextBox::StepX, "25"}, {TextBox::StepY, "50"}, {TextBox::Delta, "30"}, {TextBox::Min1, "50"},
                                          {TextBox::Min2, "100"}, {TextBox::ResX, "1280"}, {TextBox::ResY, "1024"}};
    std::function<void()> onPageChange, duringTick; // `duringTick`: run when a tick reads the keyboard slider
    StatusView status{};
    std::string settingsMessage;
    std::vector<std::string> resolutionMessages;
    UserText linkState, pauseState;
    std::vector<UserText> captureStates;
};

// A width x height screen whose content is a function of the point (white by default); points
// outside it read as failed, and markers paint it black. Counts renewals and captures.
struct FakeScreen final : Screen {
    explicit FakeScreen(int width = 1920, int height = 1080, std::function<Colour(int, int)> pattern = {}) : screenSize{width, height}, pattern(std::move(pattern)) {}
    FakeScreen(int width, int height, Colour fill) : FakeScreen(width, height, [fill](int, int) { return fill; }) {}
    ScreenSize size() override { return screenSize; }
    void renew() override { ++renewals; }
    bool capture(std::span<Snapshot* const> snapshots) override
    {
        for (++captures; Snapshot* s : snapshots)
            for (std::size_t r = 0; r < s->rows().size(); ++r)
                for (int x = s->xFrom(); x <= s->xTo(); ++x)
                    s->row(r)[static_cast<std::size_t>(x - s->xFrom())] = at(x, s->rows()[r]);
        return !unchanged;
    }
    void drawPoint(int x, int y) override { marks.emplace_back(x, y), set(x, y, 0); }
    UserText problem() const override { return screenProblem; }
    void set(int x, int y, Colour c) { pixels[{x, y}] = c; }
    Colour at(int x, int y) const
    {
        if (bounded && (x < 0 || y < 0 || x >= screenSize.width || y >= screenSize.height))
            return kFailedPixel;
        const auto it = pixels.find({x, y});
        return it != pixels.end() ? it->second : pattern ? pattern(x, y) : rgb(255, 255, 255);
    }

    void activate() override { active = true; }
    void deactivate() override { active = false; }
    ScreenSize screenSize;
    bool bounded = true; // false: the pattern holds at every coordinate
    bool active = false; // AUTO was chosen and not left since
    bool unchanged = false; // what capture() says: true, nothing drawn since the last one
    int renewals = 0, captures = 0;
    std::vector<std::pair<int, int>> marks;
    std::map<std::pair<int, int>, Colour> pixels;
    UserText screenProblem;
    std::function<Colour(int, int)> pattern;
};

// Hands out a script of draws and fails the running test if more are taken than were scripted.
struct ScriptedRandom final : RandomSource {
    explicit ScriptedRandom(std::vector<double> draws = {}) : draws_(std::move(draws)) {}
    double next() override
    {
        EXPECT_LT(taken_, draws_.size()) << "draw " << taken_ + 1 << " taken, only " << draws_.size() << " scripted";
        return taken_ < draws_.size() ? draws_[taken_++] : (++taken_, 0.0);
    }
    void add(const std::vector<double>& more) { draws_.insert(draws_.end(), more.begin(), more.end()); }
    std::size_t taken() const { return taken_; }

private:
    std::vector<double> draws_;
    std::size_t taken_ = 0;
};

inline Bytes concat(std::initializer_list<Packet> packets)
{
    Bytes out;
    for (const auto& p : packets)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

} // namespace lumora::test
