// Which of the USB serial adapters the system lists is the board's: the rule alone, so that it
// holds the same at start-up and at every reopen and is tested without devices.
#pragma once

#include <string>
#include <vector>

namespace lumora {

// The link to open among `entries`, the names listed in `folder` (/dev/serial/by-id): the only
// one. None throws LinkError Absent: a board plugged in later is found then. Several throw
// LinkError Unusable naming them all, as only the user knows which one is the board, and a
// wrong guess would send packets to someone else's device.
std::string chooseAdapter(const std::string& folder, std::vector<std::string> entries);

} // namespace lumora
