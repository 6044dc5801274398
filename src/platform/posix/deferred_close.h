#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace kolvane::platform {

// Closes file descriptors on threads of its own, several at once.
//
// The file system frees a removed file's blocks when the last descriptor of it closes; on a disk
// that is told of every freed block (a thin or virtual disk mounted with discard) that close
// waits for the disk, file by file. A file held open by a descriptor while its name is removed
// and then given to this closer costs the caller only the removal of the name, and the disk's
// waits for several files overlap. Everything given is closed before the destructor returns.
//
// Each descriptor comes with the folder it was in (any number that names it): removing a folder
// waits for the entries in it that are still being freed, so the caller waits (Wait) for those
// first.
class DeferredClose {
  public:
    explicit DeferredClose(std::size_t threads);
    ~DeferredClose();
    DeferredClose(const DeferredClose&) = delete;
    DeferredClose& operator=(const DeferredClose&) = delete;

    // Takes over `fd`, of an entry in `folder`, and closes it soon; closes it at once where no
    // thread could be started.
    void Close(int fd, std::size_t folder);
    // Returns when every descriptor given of an entry in `folder` is closed.
    void Wait(std::size_t folder);

  private:
    void Work();

    const std::size_t threads_;
    std::mutex mutex_;
    std::condition_variable given_;
    std::condition_variable closed_;
    std::deque<std::pair<int, std::size_t>> waiting_;
    std::map<std::size_t, std::size_t> open_;  // descriptors not yet closed, by folder
    bool ending_ = false;
    std::vector<std::thread> workers_;
};

}  // namespace kolvane::platform
