// Where the screen-capture permission is remembered between runs: the desktop portal's restore
// token, kept in a private file of the user's state folder.
#pragma once

#include <filesystem>
#include <string>

namespace lumora {

class RestoreTokenStore {
public:
    // $XDG_STATE_HOME/lumora-driver, or ~/.local/state/lumora-driver when it is not set;
    // empty when neither the variable nor HOME gives an absolute path.
    static std::filesystem::path defaultFolder();

    explicit RestoreTokenStore(std::filesystem::path folder);

    // The token kept by the last run; empty when there is none or it cannot be read.
    std::string load() const;
    // Replaces the kept token, creating the folder (mode 0700) and the file (mode 0600) as
    // needed; the file is replaced whole, so a crash leaves the old token or the new one.
    // Returns why it failed, or an empty text.
    std::string save(const std::string& token) const;

    const std::filesystem::path& folder() const { return folder_; }
    std::filesystem::path file() const { return folder_ / "screencast-restore-token"; }

private:
    std::filesystem::path folder_;
};

} // namespace lumora
