// Screens for the sampling tests: a pixel array that counts its captures and records the markers
// drawn on it, and a pattern screen whose content is a function of the point, for grids far larger
// than any array.
#pragma once

#include <functional>
#include <utility>
#include <vector>

#include "sampling/screen.hpp"

namespace lumora::test {

// A width x height pixel array; points outside it read as failed.
class FakeScreen : public Screen {
public:
    FakeScreen(int width, int height, Colour fill = 0)
        : width_(width), height_(height), pixels_(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), fill)
    {
    }

    void set(int x, int y, Colour c) { pixels_[index(x, y)] = c; }
    void fill(Colour c) { std::fill(pixels_.begin(), pixels_.end(), c); }
    bool inside(int x, int y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }

    ScreenSize size() override { return {width_, height_}; }
    void renew() override {}
    void capture(std::span<Snapshot* const> snapshots) override
    {
        ++captureCalls;
        capturedSnapshots = snapshots.size();
        for (Snapshot* snapshot : snapshots) {
            for (std::size_t r = 0; r < snapshot->rows().size(); ++r) {
                const int y = snapshot->rows()[r];
                auto row = snapshot->row(r);
                for (std::size_t k = 0; k < row.size(); ++k) {
                    const int x = snapshot->xFrom() + static_cast<int>(k);
                    row[k] = inside(x, y) ? pixels_[index(x, y)] : kFailedPixel;
                }
            }
        }
    }
    void drawPoint(int x, int y) override
    {
        marks.emplace_back(x, y);
        if (inside(x, y))
            pixels_[index(x, y)] = 0;
    }
    std::string problem() const override { return {}; }

    int captureCalls = 0;
    std::size_t capturedSnapshots = 0;
    std::vector<std::pair<int, int>> marks;

private:
    std::size_t index(int x, int y) const
    {
        return static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x);
    }

    int width_;
    int height_;
    std::vector<Colour> pixels_;
};

// Every point of the 16-bit plane has content given by a function; nothing fails.
class PatternScreen : public Screen {
public:
    explicit PatternScreen(std::function<Colour(int x, int y)> pattern) : pattern_(std::move(pattern)) {}

    ScreenSize size() override { return {32768, 32768}; }
    void renew() override {}
    void capture(std::span<Snapshot* const> snapshots) override
    {
        for (Snapshot* snapshot : snapshots)
            for (std::size_t r = 0; r < snapshot->rows().size(); ++r) {
                auto row = snapshot->row(r);
                for (std::size_t k = 0; k < row.size(); ++k)
                    row[k] = pattern_(snapshot->xFrom() + static_cast<int>(k), snapshot->rows()[r]);
            }
    }
    void drawPoint(int, int) override { ++marks; }
    std::string problem() const override { return {}; }

    long long marks = 0;

private:
    std::function<Colour(int, int)> pattern_;
};

} // namespace lumora::test
