#include "platform/serial_adapters.hpp"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "link/adapter_choice.hpp"
#include "link/serial_line.hpp"

namespace lumora {

std::string adapterFolder()
{
    const char* folder = std::getenv("LUMORA_SERIAL_BY_ID");
    return folder && folder[0] != '\0' ? folder : "/dev/serial/by-id";
}

std::vector<std::string> listAdapters(const std::string& folder)
{
    std::vector<std::string> names;
    std::error_code error;
    std::filesystem::directory_iterator entries(folder, error);
    if (error == std::errc::no_such_file_or_directory)
        return names;
    for (; !error && entries != std::filesystem::directory_iterator(); entries.increment(error))
        names.push_back(entries->path().filename().string());
    if (error)
        throw LinkError(LinkError::Kind::Unusable, "cannot list the USB serial adapters in " + folder + ": " + error.message());
    return names;
}

std::string findAdapter(const std::string& folder)
{
    const std::string link = chooseAdapter(folder, listAdapters(folder));
    // The device as it is now: a replugged adapter may come back as another ttyUSB.
    std::error_code error;
    const std::filesystem::path device = std::filesystem::canonical(link, error);
    if (error == std::errc::no_such_file_or_directory) // unplugged since the listing
        throw LinkError(LinkError::Kind::Absent, "the board's adapter " + link + " has gone");
    if (error)
        throw LinkError(LinkError::Kind::Unusable, "cannot follow the board's adapter link " + link + ": " + error.message());
    return device.string();
}

} // namespace lumora
