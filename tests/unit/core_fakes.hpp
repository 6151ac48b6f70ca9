// Fakes for the controller's seams: the window's controls, a serial line, a clock, screens and
// random sources.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <deque>
#include <functional>
#include <map>
#include <utility>
#include <vector>

#include "control/controller.hpp"

namespace lumora::test {

class FakeClock final : public Clock {
public:
    std::chrono::steady_clock::time_point now() const override { return now_; }
    void sleepFor(std::chrono::milliseconds d) const override { now_ += d; }
    void advance(std::chrono::microseconds d) { now_ += d; }

private:
    mutable std::chrono::steady_clock::time_point now_{std::chrono::seconds(1000)};
};

// Records every byte the link hands over; can take fewer bytes than offered, fail, or refuse to open.
class FakeLine final : public SerialLine {
public:
    void open() override
    {
        ++opens;
        if (openFailures-- > 0)
            throw LinkError("cannot open the board's port /dev/fake: no such port");
        open_ = true;
        failWrites = false;
    }
    bool isOpen() const override { return open_; }
    std::size_t write(std::span<const std::uint8_t> bytes) override
    {
        ++writeCalls;
        if (failWrites)
            throw LinkError("lost the board on /dev/fake: Input/output error");
        std::size_t n = bytes.size();
        if (!accepts.empty()) {
            n = std::min(n, accepts.front());
            accepts.pop_front();
        }
        written.insert(written.end(), bytes.begin(), bytes.begin() + static_cast<long>(n));
        return n;
    }
    long pending() const override { return reportedPending; }
    bool drain(std::chrono::milliseconds) override { return true; }
    void close() override { open_ = false; ++closes; }
    const std::string& path() const override { return path_; }

    std::vector<std::uint8_t> written;
    std::deque<std::size_t> accepts; // per write call: at most this many bytes taken
    bool failWrites = false;
    int openFailures = 0, opens = 0, closes = 0, writeCalls = 0;
    long reportedPending = 0;

private:
    bool open_ = false;
    std::string path_ = "/dev/fake";
};

class FakeControls final : public Controls {
public:
    int colourSlider(Channel c, int i) const override { return sliders.at(static_cast<std::size_t>(c)).at(static_cast<std::size_t>(i)); }
    void setColourSlider(Channel c, int i, int v) override { sliders.at(static_cast<std::size_t>(c)).at(static_cast<std::size_t>(i)) = v; }
    int slW() const override { return keyboard; }
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
    void selectPage(int p) override
    {
        if (p != page) {
            page = p;
            onPageChange();
        }
    }
    void showStatus(const StatusView& v) override { status = v; }
    void showSettingsMessage(const std::string& m) override { settingsMessage = m; }
    void showResolutionMessage(const std::string& m) override { resolutionMessage = m; }
    void showLinkState(const std::string& m) override { linkState = m; }
    void showCaptureState(const UserText& m) override { captureState = m; ++captureReports; }

    std::array<std::array<int, 4>, 3> sliders{};
    int keyboard = 0, speed = 1, page = 3, captureReports = 0;
    bool resAuto = true;
    std::map<TextBox, std::string> texts{{TextBox::StepX, "25"}, {TextBox::StepY, "50"}, {TextBox::Delta, "30"},
                                          {TextBox::Min1, "50"},  {TextBox::Min2, "100"}, {TextBox::ResX, "1280"},
                                          {TextBox::ResY, "1024"}};
    std::function<void()> onPageChange;
    StatusView status{};
    std::string linkState, settingsMessage, resolutionMessage;
    UserText captureState;
};

// Content given by a function of the point, white by default; counts renewals, captures and markers.
class PatternScreen : public Screen {
public:
    explicit PatternScreen(std::function<Colour(int x, int y)> pattern = [](int, int) { return rgb(255, 255, 255); },
                           ScreenSize size = {1920, 1080})
        : screenSize(size), pattern_(std::move(pattern))
    {
    }
    ScreenSize size() override { return screenSize; }
    void renew() override { ++renewals; }
    void capture(std::span<Snapshot* const> snapshots) override
    {
        ++captures;
        capturedSnapshots = snapshots.size();
        for (Snapshot* s : snapshots)
            for (std::size_t r = 0; r < s->rows().size(); ++r) {
                auto row = s->row(r);
                for (std::size_t k = 0; k < row.size(); ++k)
                    row[k] = pattern_(s->xFrom() + static_cast<int>(k), s->rows()[r]);
            }
    }
    void drawPoint(int x, int y) override { marks.emplace_back(x, y); }
    UserText problem() const override { return screenProblem; }
    void activate() override { active = true; }
    void deactivate() override { active = false; }

    ScreenSize screenSize;
    bool active = false; // AUTO was chosen and not left since
    int renewals = 0, captures = 0;
    std::size_t capturedSnapshots = 0;
    std::vector<std::pair<int, int>> marks;
    UserText screenProblem;

private:
    std::function<Colour(int, int)> pattern_;
};
using UniformScreen = PatternScreen;

// A width x height pixel array; points outside it read as failed, markers paint it black.
class FakeScreen final : public PatternScreen {
public:
    FakeScreen(int width, int height, Colour fill = 0)
        : PatternScreen([this](int x, int y) { return inside(x, y) ? pixels_[index(x, y)] : kFailedPixel; }, {width, height}),
          pixels_(static_cast<std::size_t>(width * height), fill)
    {
    }
    FakeScreen(const FakeScreen&) = delete; // the pattern reads this object's pixels
    void set(int x, int y, Colour c) { pixels_[index(x, y)] = c; }
    void drawPoint(int x, int y) override
    {
        PatternScreen::drawPoint(x, y);
        if (inside(x, y))
            set(x, y, 0);
    }

private:
    bool inside(int x, int y) const { return x >= 0 && y >= 0 && x < screenSize.width && y < screenSize.height; }
    std::size_t index(int x, int y) const { return static_cast<std::size_t>(y * screenSize.width + x); }
    std::vector<Colour> pixels_;
};

// Draws in a fixed cycle; RND is tested in detail elsewhere.
class CyclingRandom final : public RandomSource {
public:
    double next() override { return value_ = value_ + 0.37 >= 1.0 ? value_ + 0.37 - 1.0 : value_ + 0.37; }

private:
    double value_ = 0.1;
};

// Hands out a script of draws and fails the running test if more are taken than were scripted.
class ScriptedRandom final : public RandomSource {
public:
    explicit ScriptedRandom(std::vector<double> draws = {}) : draws_(std::move(draws)) {}
    double next() override
    {
        if (taken_ < draws_.size())
            return draws_[taken_++];
        ADD_FAILURE() << "draw " << ++taken_ << " taken, only " << draws_.size() << " scripted";
        return 0.0;
    }
    void add(const std::vector<double>& more) { draws_.insert(draws_.end(), more.begin(), more.end()); }
    std::size_t taken() const { return taken_; }

private:
    std::vector<double> draws_;
    std::size_t taken_ = 0;
};

using Bytes = std::vector<std::uint8_t>;

inline Bytes concat(std::initializer_list<Packet> packets)
{
    Bytes out;
    for (const auto& p : packets)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

} // namespace lumora::test
