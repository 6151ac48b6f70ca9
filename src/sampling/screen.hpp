// The screen as the area scan sees it: its size, and snapshots of the rows that a scan samples.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/colour.hpp"
#include "base/user_text.hpp"

namespace lumora {

struct ScreenSize {
    int width = 0;
    int height = 0;
    friend bool operator==(const ScreenSize&, const ScreenSize&) = default;
};

// The pixels of some rows of the screen, each row from xFrom to xTo inclusive, held in memory so
// that a scan reads them without a round trip per pixel. Points never captured read as failed.
class Snapshot {
public:
    // Lays out storage for the given rows and span and marks every point failed.
    void reset(int xFrom, int xTo, std::vector<int> rows);

    int xFrom() const { return xFrom_; }
    int xTo() const { return xTo_; }
    int width() const { return xTo_ >= xFrom_ ? xTo_ - xFrom_ + 1 : 0; }
    // Every how many points along a row, from xFrom, the scan reads: xFrom, xFrom + step, ... A
    // capture must set those; it may set the points between them too, or leave them failed.
    int columnStep() const { return columnStep_; }
    void setColumnStep(int step) { columnStep_ = step > 0 ? step : 1; }
    const std::vector<int>& rows() const { return rows_; }

    // The colour at x of the row with this index in rows(); failed outside xFrom..xTo.
    Colour pixel(int x, std::size_t rowIndex) const
    {
        if (x < xFrom_ || x > xTo_ || rowIndex >= rows_.size())
            return kFailedPixel;
        return pixels_[rowIndex * static_cast<std::size_t>(width()) + static_cast<std::size_t>(x - xFrom_)];
    }

    std::span<const Colour> row(std::size_t rowIndex) const
    {
        return {pixels_.data() + rowIndex * static_cast<std::size_t>(width()), static_cast<std::size_t>(width())};
    }

    // Writable storage of one row, width() values, for the capture to fill.
    std::span<Colour> row(std::size_t rowIndex)
    {
        return {pixels_.data() + rowIndex * static_cast<std::size_t>(width()), static_cast<std::size_t>(width())};
    }

private:
    int xFrom_ = 0;
    int xTo_ = -1;
    int columnStep_ = 1;
    std::vector<int> rows_;
    std::vector<Colour> pixels_;
};

class Screen {
public:
    virtual ~Screen() = default;

    // The screen's size in physical pixels; {0, 0} when there is no screen to read.
    virtual ScreenSize size() = 0;

    // Takes the capture anew (the periodic renewal), releasing what the previous one held.
    virtual void renew() = 0;

    // Sets the points of every snapshot that the scan reads (see Snapshot::columnStep): the
    // screen's pixel, or failed for a point off the screen or when the capture is unusable. All
    // requests go out before any reply is read. Returns false when the snapshots are those of the
    // last call, with the same layouts and steps, and hold what it put there, which the screen
    // still shows: a scan of them then finds what it found before.
    virtual bool capture(std::span<Snapshot* const> snapshots) = 0;

    // Draws a black point (a scan marker). Points off the screen are ignored.
    virtual void drawPoint(int x, int y) = 0;

    // Why the screen cannot be read (or what the capture waits for), for the window and standard
    // error; empty when it reads.
    virtual UserText problem() const = 0;

    // AUTO mode was chosen: a capture that stopped or was refused may ask again, and until
    // deactivate() a capture that stops may ask again by itself.
    virtual void activate() {}
    // AUTO mode was left: the screen is not read until activate().
    virtual void deactivate() {}
};

} // namespace lumora
