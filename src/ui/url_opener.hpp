// Hands an address to the desktop, which opens it with its default handler.
#pragma once

#include <string>

namespace lumora {

class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    // Returns at once, without waiting for the opened program; failures are silent.
    virtual void open(const std::string& address) = 0;
};

} // namespace lumora
