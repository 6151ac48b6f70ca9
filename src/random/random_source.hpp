// Where RND mode's draws come from.
#pragma once

namespace lumora {

class RandomSource {
public:
    virtual ~RandomSource() = default;
    // The next draw u, 0 <= u < 1.
    virtual double next() = 0;
};

} // namespace lumora
