#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace kolvane::platform {

// Closes file descriptors on threads of its own, a few at once.
//
// The file system frees a removed file's blocks when the last descriptor of it closes; on a disk
// that is told of every freed block (a thin or virtual disk mounted with discard) that close
// waits for the disk, file by file. A file held open by a descriptor while its name is removed
// and then given to this closer costs the caller only the removal of the name, and the disk's
// waits for several files overlap. Everything given is closed before the destructor returns.
class DeferredClose {
  public:
    explicit DeferredClose(std::size_t threads);
    ~DeferredClose();
    DeferredClose(const DeferredClose&) = delete;
    DeferredClose& operator=(const DeferredClose&) = delete;

    // Takes over `fd` and closes it soon; closes it at once where no thread could be started.
    void Close(int fd);

  private:
    void Work();

    const std::size_t threads_;
    std::mutex mutex_;
    std::condition_variable given_;
    std::deque<int> waiting_;
    bool ending_ = false;
    std::vector<std::thread> workers_;
};

}  // namespace kolvane::platform
