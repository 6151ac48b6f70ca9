#include "platform/portal/portal_token_store.hpp"

#include "platform/posix/unique_fd.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace lumora {

namespace {

constexpr std::size_t kMaxToken = 4096;

// Creates `folder` and any missing parents with mode 0700; tightens `folder` itself if it exists.
bool makePrivateFolder(const std::filesystem::path& folder, std::string& why)
{
    std::filesystem::path partial;
    for (const auto& part : folder) {
        partial /= part;
        if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) {
            why = "cannot create " + partial.string() + ": " + std::strerror(errno);
            return false;
        }
    }
    struct stat st{};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        why = folder.string() + " is not a folder";
        return false;
    }
    if ((st.st_mode & 077) != 0 && st.st_uid == ::geteuid())
        ::chmod(folder.c_str(), 0700);
    return true;
}

} // namespace

std::filesystem::path RestoreTokenStore::defaultFolder()
{
    // Relative paths in these variables are invalid and must be ignored.
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && state[0] == '/')
        return std::filesystem::path(state) / "lumora-driver";
    if (const char* home = std::getenv("HOME"); home && home[0] == '/')
        return std::filesystem::path(home) / ".local" / "state" / "lumora-driver";
    return {};
}

RestoreTokenStore::RestoreTokenStore(std::filesystem::path folder) : folder_(std::move(folder)) {}

std::string RestoreTokenStore::load() const
{
    if (folder_.empty())
        return {};
    std::ifstream in(file());
    std::string token;
    if (!in || !std::getline(in, token) || token.size() > kMaxToken)
        return {};
    return token;
}

std::string RestoreTokenStore::save(const std::string& token) const
{
    if (folder_.empty())
        return "no state folder: neither XDG_STATE_HOME nor HOME is set";
    std::string why;
    if (!makePrivateFolder(folder_, why))
        return why;
    const std::filesystem::path target = file();
    const std::filesystem::path temporary = target.string() + ".new";
    {
        UniqueFd fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600));
        if (!fd)
            return "cannot write " + temporary.string() + ": " + std::strerror(errno);
        const std::string text = token + "\n";
        std::size_t done = 0;
        while (done < text.size()) {
            const ssize_t n = ::write(fd.get(), text.data() + done, text.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                const std::string error = std::strerror(errno);
                ::unlink(temporary.c_str());
                return "cannot write " + temporary.string() + ": " + error;
            }
            done += static_cast<std::size_t>(n);
        }
        ::fchmod(fd.get(), 0600); // an older file of the same name may have had other bits
    }
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        const std::string error = std::strerror(errno);
        ::unlink(temporary.c_str());
        return "cannot replace " + target.string() + ": " + error;
    }
    return {};
}

} // namespace lumora
