#pragma once

#include <sys/types.h>

#include <cstddef>

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

}  // namespace kolvane::platform
