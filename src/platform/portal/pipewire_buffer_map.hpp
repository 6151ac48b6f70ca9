// CPU access to the memory of a PipeWire buffer: shared memory arrives mapped by PipeWire; a
// linear GPU buffer that arrives unmapped is mapped here for as long as it is read.
#pragma once

#include <spa/buffer/buffer.h>

#include <cstddef>
#include <cstdint>
#include <optional>

#include "platform/posix/memory_map.hpp"

namespace lumora {

// Brackets CPU reads of a mapped GPU buffer, so that its caches are coherent with the GPU's writes.
class DmaBufRead {
public:
    explicit DmaBufRead(int fd);
    ~DmaBufRead();
    DmaBufRead(const DmaBufRead&) = delete;
    DmaBufRead& operator=(const DmaBufRead&) = delete;

private:
    int fd_;
};

// The memory of one data block while this lives: where PipeWire mapped it, or a mapping of its own
// for a GPU buffer that arrived unmapped (its producer did not mark it mappable; a linear layout
// reads like memory once mapped). data() is the block's map offset, where chunks count from.
class MappedData {
public:
    explicit MappedData(const spa_data& d);
    MappedData(const MappedData&) = delete;
    MappedData& operator=(const MappedData&) = delete;

    // nullptr when the block cannot be read.
    const std::uint8_t* data() const { return data_; }

private:
    MemoryMap mapping_;
    const std::uint8_t* data_ = nullptr;
};

} // namespace lumora
