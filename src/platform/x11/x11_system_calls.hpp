// The system calls behind the capture's shared memory, as a seam: tests swap one for a failing
// stand-in to check that the capture falls back to plain image requests.
#pragma once

#include <sys/mman.h>
#include <sys/types.h>
#include <unistd.h>

namespace lumora::x11 {

struct SystemCalls {
    int (*memfdCreate)(const char* name, unsigned int flags) = ::memfd_create;
    int (*truncate)(int fd, off_t length) = ::ftruncate;
    void* (*map)(void* address, size_t length, int protection, int flags, int fd, off_t offset) = ::mmap;
};

} // namespace lumora::x11
