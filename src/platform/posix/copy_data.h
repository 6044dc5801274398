#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

#include "platform/file_system.h"

namespace kolvane::platform {

// Copies up to `length` bytes from the file position of `from` to that of `to` inside the kernel,
// as copy_file_range does: the bytes copied, or -1 with errno set.
using KernelCopyCall = ssize_t (*)(int from, int to, std::size_t length);

// copy_file_range from and to the files' own positions.
ssize_t KernelCopy(int from, int to, std::size_t length);

// Copies the `size` bytes of `from` into the empty `to`, both at position 0. The kernel copies
// them through `kernelCopy` where it can; where it says that it cannot copy between these files,
// plain reads and writes go on from where it stopped. Any other error fails the copy.
bool CopyFileData(int from, int to, off_t size, KernelCopyCall kernelCopy);

// Lets `watch` hear the first `size` bytes of the file `fd`, in order, straight from the system's
// cache of the file (mapped, not copied). False where the file cannot be mapped or turns out
// shorter than `size` while it is read (another program cut it): the watch may then have heard
// part of it. `watch` must not leave anything to clean up when it is cut short.
bool ReadMapped(int fd, std::uint64_t size, ReadWatch& watch);

}  // namespace kolvane::platform
