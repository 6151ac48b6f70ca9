// GPU buffers are read through mmap of their descriptor, with the kernel's read bracket around it.
#include "platform/pipewire_buffer_map.hpp"

#include <linux/dma-buf.h>
#include <sys/ioctl.h>
#include <sys/mman.h>

#include <cerrno>

namespace lumora {

namespace {

void syncDmaBuf(int fd, std::uint64_t when) noexcept
{
    dma_buf_sync s{};
    s.flags = when | DMA_BUF_SYNC_READ;
    while (::ioctl(fd, DMA_BUF_IOCTL_SYNC, &s) == -1 && (errno == EINTR || errno == EAGAIN)) {
    }
}

} // namespace

DmaBufRead::DmaBufRead(int fd) : fd_(fd)
{
    syncDmaBuf(fd_, DMA_BUF_SYNC_START);
}

DmaBufRead::~DmaBufRead()
{
    syncDmaBuf(fd_, DMA_BUF_SYNC_END);
}

BufferMapping::BufferMapping(int fd, std::size_t length)
    : length_(length), data_(::mmap(nullptr, length, PROT_READ, MAP_SHARED, fd, 0))
{
}

BufferMapping::~BufferMapping()
{
    if (data_ != MAP_FAILED)
        ::munmap(data_, length_);
}

const std::uint8_t* BufferMapping::data() const
{
    return data_ == MAP_FAILED ? nullptr : static_cast<const std::uint8_t*>(data_);
}

MappedData::MappedData(const spa_data& d) : data_(static_cast<const std::uint8_t*>(d.data))
{
    if (data_ || d.type != SPA_DATA_DmaBuf || d.fd < 0)
        return;
    mapping_.emplace(static_cast<int>(d.fd), static_cast<std::size_t>(d.mapoffset) + d.maxsize);
    if (mapping_->data())
        data_ = mapping_->data() + d.mapoffset;
}

} // namespace lumora
