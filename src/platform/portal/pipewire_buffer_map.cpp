// GPU buffers are read through mmap of their descriptor, with the kernel's read bracket around it.
#include "platform/portal/pipewire_buffer_map.hpp"

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

MappedData::MappedData(const spa_data& d) : data_(static_cast<const std::uint8_t*>(d.data))
{
    if (data_ || d.type != SPA_DATA_DmaBuf || d.fd < 0)
        return;
    const std::size_t length = static_cast<std::size_t>(d.mapoffset) + d.maxsize;
    void* address = ::mmap(nullptr, length, PROT_READ, MAP_SHARED, static_cast<int>(d.fd), 0);
    if (address == MAP_FAILED)
        return;
    mapping_ = MemoryMap(address, length);
    data_ = reinterpret_cast<const std::uint8_t*>(mapping_.data()) + d.mapoffset;
}

} // namespace lumora
