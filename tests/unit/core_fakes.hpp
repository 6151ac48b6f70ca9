// Fakes for the controller's seams: the window's controls, a serial line, a clock, a screen.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <deque>
#include <map>
#include <vector>

#include "core/controller.hpp"

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
        if (openFailures > 0) {
            --openFailures;
            throw LinkError("cannot open the board's port /dev/fake: no such port");
        }
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
    void close() override
    {
        open_ = false;
        ++closes;
    }
    const std::string& path() const override { return path_; }

    std::vector<std::uint8_t> written;
    std::deque<std::size_t> accepts; // per write call: at most this many bytes taken
    bool failWrites = false;
    int openFailures = 0;
    int opens = 0;
    int closes = 0;
    int writeCalls = 0;
    long reportedPending = 0;

private:
    bool open_ = false;
    std::string path_ = "/dev/fake";
};

class FakeControls final : public Controls {
public:
    int colourSlider(Channel c, int index) const override { return sliders.at(static_cast<int>(c)).at(static_cast<std::size_t>(index)); }
    void setColourSlider(Channel c, int index, int value) override
    {
        sliders.at(static_cast<int>(c)).at(static_cast<std::size_t>(index)) = value;
        ++sliderWrites;
    }
    int slW() const override { return keyboard; }
    int Slider1() const override { return speed; }
    bool optRNDbright() const override { return bright; }
    bool chkRndOnecolor() const override { return oneColour; }
    bool optAUTO1() const override { return processing; }
    bool chkMark() const override { return markers; }
    bool chkResAuto() const override { return resAuto; }
    std::string text(TextBox box) const override { return texts.at(box); }
    void setText(TextBox box, const std::string& t) override { texts[box] = t; }
    int selectedPage() const override { return page; }
    // As a tab control: selecting another page runs the page handler; the current one does nothing.
    void selectPage(int p) override
    {
        if (p == page)
            return;
        page = p;
        ++pageChanges;
        if (onPageChange)
            onPageChange();
    }
    void showStatus(const StatusView& v) override { status = v; ++statusShows; }
    void showAutoMessage(const std::string& m) override { autoMessage = m; }
    void showLinkState(const std::string& m) override { linkState = m; }
    void showCaptureState(const std::string& m) override { captureState = m; ++captureReports; }

    std::array<std::array<int, 4>, 3> sliders{};
    int keyboard = 0;
    int speed = 1;
    bool bright = true;
    bool oneColour = false;
    bool processing = true;
    bool markers = false;
    bool resAuto = true;
    std::map<TextBox, std::string> texts{{TextBox::StepX, "25"}, {TextBox::StepY, "50"}, {TextBox::Delta, "30"},
                                          {TextBox::Min1, "50"},  {TextBox::Min2, "100"}, {TextBox::ResX, "1280"},
                                          {TextBox::ResY, "1024"}};
    int page = 3;
    int pageChanges = 0;
    std::function<void()> onPageChange;
    StatusView status{};
    int statusShows = 0;
    int sliderWrites = 0;
    std::string autoMessage;
    std::string linkState;
    std::string captureState;
    int captureReports = 0;
};

// A screen of one colour everywhere.
class UniformScreen final : public Screen {
public:
    ScreenSize size() override { return screenSize; }
    void renew() override { ++renewals; }
    void capture(std::span<Snapshot* const> snapshots) override
    {
        ++captures;
        for (Snapshot* s : snapshots)
            for (std::size_t r = 0; r < s->rows().size(); ++r)
                for (Colour& c : s->row(r))
                    c = colour;
    }
    void drawPoint(int, int) override {}
    std::string problem() const override { return screenProblem; }

    ScreenSize screenSize{1920, 1080};
    Colour colour = rgb(255, 255, 255);
    int renewals = 0;
    int captures = 0;
    std::string screenProblem;
};

// Draws in a fixed cycle; RND is tested in detail elsewhere.
class CyclingRandom final : public RandomSource {
public:
    double next() override
    {
        ++draws;
        value_ = value_ + 0.37 >= 1.0 ? value_ + 0.37 - 1.0 : value_ + 0.37;
        return value_;
    }
    int draws = 0;

private:
    double value_ = 0.1;
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
