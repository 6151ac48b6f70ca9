// A shared-memory segment handed to the X server as a memfd, so that it works also where the
// program and the server share no SysV IPC (sandboxes, containers).
#pragma once

#include "platform/posix/memory_map.hpp"
#include "platform/posix/unique_fd.hpp"
#include "platform/x11/x11_handles.hpp"
#include "platform/x11/x11_system_calls.hpp"

#include <cstddef>
#include <cstdint>

namespace lumora::x11 {

class SharedSegment {
public:
    SharedSegment() = default; // empty: no segment

    // Makes a segment of `size` bytes and attaches it to the server with a checked request.
    // Throws std::runtime_error naming the step that failed; nothing stays behind then.
    static SharedSegment create(xcb_connection_t* c, std::size_t size, const SystemCalls& sys);

    std::uint32_t id() const noexcept { return attachment_.id(); }
    const std::byte* data() const noexcept { return map_.data(); }
    std::size_t size() const noexcept { return map_.size(); }
    explicit operator bool() const noexcept { return static_cast<bool>(attachment_); }

private:
    // Declared so that the server lets go of the segment first, then the mapping goes, then
    // the descriptor.
    UniqueFd memfd_;
    MemoryMap map_;
    ServerResource attachment_;
};

} // namespace lumora::x11
