// A memory mapping owned by exactly one object: unmapped on destruction and on replacement,
// emptied on move.
#pragma once

#include <cstddef>
#include <utility>

namespace lumora {

// Empty when its address is null. It adopts what mmap gave; the caller maps (through whatever
// seam it uses) and checks for MAP_FAILED, which is never handed over.
class MemoryMap {
public:
    MemoryMap() = default;
    MemoryMap(void* address, std::size_t length) noexcept : address_(address), length_(length) {}
    MemoryMap(MemoryMap&& other) noexcept
        : address_(std::exchange(other.address_, nullptr)), length_(std::exchange(other.length_, 0))
    {
    }
    MemoryMap& operator=(MemoryMap&& other) noexcept;
    MemoryMap(const MemoryMap&) = delete;
    MemoryMap& operator=(const MemoryMap&) = delete;
    ~MemoryMap() { reset(); }

    std::byte* data() const noexcept { return static_cast<std::byte*>(address_); }
    std::size_t size() const noexcept { return length_; }
    explicit operator bool() const noexcept { return address_ != nullptr; }
    void reset() noexcept;

private:
    void* address_ = nullptr;
    std::size_t length_ = 0;
};

} // namespace lumora
