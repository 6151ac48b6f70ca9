// The stable path under which the emulator publishes its pseudo-terminal's slave.
#pragma once

#include <string>

namespace lumora::sim {

// A symbolic link at `path` to `target`, created by renaming a fresh link over whatever was there
// (so a reader never sees the path missing or half made), and removed when this object goes,
// unless by then it points elsewhere (another emulator took the path over).
class PublishedLink {
public:
    PublishedLink(std::string path, std::string target); // throws std::runtime_error
    PublishedLink(const PublishedLink&) = delete;
    PublishedLink& operator=(const PublishedLink&) = delete;
    ~PublishedLink();

    const std::string& path() const { return path_; }
    // Removes the link now (idempotent); safe to call from the normal exit path.
    void remove() noexcept;

private:
    std::string path_;
    std::string target_;
    bool published_ = false;
};

} // namespace lumora::sim
