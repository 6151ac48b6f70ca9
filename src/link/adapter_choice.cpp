#include "link/adapter_choice.hpp"

#include <algorithm>

#include "link/serial_line.hpp"

namespace lumora {

std::string chooseAdapter(const std::string& folder, std::vector<std::string> entries)
{
    const std::string prefix = folder.ends_with('/') ? folder : folder + "/";
    if (entries.empty())
        throw LinkError(LinkError::Kind::Absent, "no USB serial adapter in " + prefix + " (is the board plugged in?)");
    if (entries.size() == 1)
        return prefix + entries.front();
    std::sort(entries.begin(), entries.end()); // the order the listing gave is no order at all
    std::string names;
    for (const std::string& entry : entries)
        names += (names.empty() ? "" : ", ") + prefix + entry;
    throw LinkError(LinkError::Kind::Unusable, "several USB serial adapters in " + prefix + ": " + names +
                                                   " (use --port PATH to choose the board's)");
}

} // namespace lumora
