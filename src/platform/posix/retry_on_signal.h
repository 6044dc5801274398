#pragma once

#include <cerrno>

namespace kolvane::platform {

// Makes a system call again for as long as it fails only because a signal interrupted it.
// `call` returns what the system call returns; -1 with errno set is its failure.
template <typename Call>
auto RetryOnSignal(Call call) -> decltype(call()) {
    for (;;) {
        const auto result = call();
        if (result != -1 || errno != EINTR) {
            return result;
        }
    }
}

}  // namespace kolvane::platform
