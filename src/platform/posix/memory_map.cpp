// The mapping's release path.
#include "platform/posix/memory_map.hpp"

#include <sys/mman.h>

namespace lumora {

MemoryMap& MemoryMap::operator=(MemoryMap&& other) noexcept
{
    if (this != &other) {
        reset();
        address_ = std::exchange(other.address_, nullptr);
        length_ = std::exchange(other.length_, 0);
    }
    return *this;
}

void MemoryMap::reset() noexcept
{
    if (address_)
        ::munmap(address_, length_); // the range is gone even when munmap reports an error
    address_ = nullptr;
    length_ = 0;
}

} // namespace lumora
