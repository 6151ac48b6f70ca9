// A random source for tests: hands out a fixed script of draws, counts them, and fails the
// running test if more draws are taken than were scripted.
#pragma once

#include <cstddef>
#include <ostream>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "core/controller_state.hpp"
#include "random/random_source.hpp"

namespace lumora::test {

class ScriptedRandom final : public RandomSource {
public:
    explicit ScriptedRandom(std::vector<double> draws = {}) : draws_(std::move(draws)) {}

    double next() override
    {
        if (taken_ >= draws_.size()) {
            ADD_FAILURE() << "draw " << taken_ + 1 << " taken, only " << draws_.size() << " scripted";
            ++taken_;
            return 0.0;
        }
        return draws_[taken_++];
    }

    void add(std::vector<double> more) { draws_.insert(draws_.end(), more.begin(), more.end()); }
    std::size_t taken() const { return taken_; }
    std::size_t remaining() const { return taken_ >= draws_.size() ? 0 : draws_.size() - taken_; }

private:
    std::vector<double> draws_;
    std::size_t taken_ = 0;
};

struct Rgb {
    i16 r, g, b;
    bool operator==(const Rgb&) const = default;
};

inline Rgb targetOf(const ControllerState& s, int zone)
{
    const auto z = static_cast<std::size_t>(zone);
    return {s.TargetR[z], s.TargetG[z], s.TargetB[z]};
}

inline Rgb currentOf(const ControllerState& s, int zone)
{
    const auto z = static_cast<std::size_t>(zone);
    return {s.CurR[z], s.CurG[z], s.CurB[z]};
}

inline void PrintTo(const Rgb& c, std::ostream* os) { *os << "(" << c.r << ", " << c.g << ", " << c.b << ")"; }

} // namespace lumora::test
