// Helpers shared by the platform tests: snapshots to capture into, a check of every point of one,
// and environment variables set for one scope.
#pragma once

#include "sampling/screen.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace lumora::test {

inline Snapshot snapshot(int xFrom, int xTo, std::vector<int> rows, int columnStep = 1)
{
    Snapshot s;
    return s.reset(xFrom, xTo, std::move(rows)), s.setColumnStep(columnStep), s;
}

// Fails the test at the first point of `s` whose colour is not expected(x, y).
template <class Expected>
void expectPixels(const Snapshot& s, Expected expected)
{
    for (std::size_t r = 0; r < s.rows().size(); ++r)
        for (int x = s.xFrom(); x <= s.xTo(); ++x)
            ASSERT_EQ(s.pixel(x, r), expected(x, s.rows()[r])) << "at " << x << "," << s.rows()[r];
}

// Sets an environment variable (nullopt: removes it) for one scope and puts it back afterwards.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name)
    {
        if (const char* old = std::getenv(name))
            old_ = old;
        value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
    }
    ~ScopedEnv() { old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

} // namespace lumora::test
