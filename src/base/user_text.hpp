// A text for the user: in the window's language, and its English twin for standard error.
#pragma once

#include <string>

namespace lumora {

// Both are empty when there is nothing to say.
struct UserText {
    std::string ru;
    std::string en;
    bool empty() const { return en.empty() && ru.empty(); }
    void clear() { *this = {}; }
    friend bool operator==(const UserText&, const UserText&) = default;
};

} // namespace lumora
