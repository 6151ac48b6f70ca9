// Publishing and withdrawing the link, each in one step a reader cannot catch half done.
#include "published_link.hpp"

#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>
#include <stdexcept>
#include <vector>

namespace lumora::sim {

namespace {

std::runtime_error systemError(const std::string& what)
{
    return std::runtime_error(what + ": " + std::strerror(errno));
}

} // namespace

PublishedLink::PublishedLink(std::string path, std::string target)
    : path_(std::move(path)), target_(std::move(target))
{
    std::random_device seed;
    const std::string temporary = path_ + ".new-" + std::to_string(::getpid()) + "-" + std::to_string(seed());
    if (::symlink(target_.c_str(), temporary.c_str()) != 0)
        throw systemError("cannot create the link " + temporary);
    if (::rename(temporary.c_str(), path_.c_str()) != 0) {
        const int saved = errno;
        ::unlink(temporary.c_str());
        errno = saved;
        throw systemError("cannot publish the link " + path_);
    }
    published_ = true;
}

PublishedLink::~PublishedLink() { remove(); }

void PublishedLink::remove() noexcept
{
    if (!published_)
        return;
    published_ = false;
    std::vector<char> buffer(target_.size() + 2);
    const ssize_t n = ::readlink(path_.c_str(), buffer.data(), buffer.size());
    if (n >= 0 && std::string(buffer.data(), static_cast<std::size_t>(n)) == target_)
        ::unlink(path_.c_str());
}

} // namespace lumora::sim
