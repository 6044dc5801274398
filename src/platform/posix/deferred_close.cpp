#include "platform/posix/deferred_close.h"

#include <unistd.h>

#include <system_error>

namespace kolvane::platform {

DeferredClose::DeferredClose(std::size_t threads) : threads_(threads) {}

DeferredClose::~DeferredClose() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        ending_ = true;
    }
    given_.notify_all();
    for (std::thread& worker : workers_) {
        worker.join();
    }
}

void DeferredClose::Close(int fd, std::size_t folder) {
    if (fd < 0) {
        return;
    }
    bool queued = false;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        // The threads start with the first descriptors, so that a run that removes nothing starts
        // none.
        if (workers_.size() < threads_) {
            try {
                workers_.emplace_back([this] { Work(); });
            } catch (const std::system_error&) {
                // As many as could be started do the work.
            }
        }
        if (!workers_.empty()) {
            waiting_.emplace_back(fd, folder);
            ++open_[folder];
            queued = true;
        }
    }
    if (!queued) {
        ::close(fd);
        return;
    }
    given_.notify_one();
}

void DeferredClose::Wait(std::size_t folder) {
    std::unique_lock<std::mutex> lock(mutex_);
    closed_.wait(lock, [&] { return open_.count(folder) == 0; });
}

void DeferredClose::Work() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        given_.wait(lock, [this] { return ending_ || !waiting_.empty(); });
        if (waiting_.empty()) {
            return;  // ending, and nothing left
        }
        const auto [fd, folder] = waiting_.front();
        waiting_.pop_front();
        lock.unlock();
        ::close(fd);
        lock.lock();
        const auto count = open_.find(folder);
        if (--count->second == 0) {
            open_.erase(count);
            closed_.notify_all();
        }
    }
}

}  // namespace kolvane::platform
