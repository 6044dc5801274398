#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <stdexcept>

#include "platform/posix/retry_on_signal.h"
#include "platform/posix/unique_fd.h"
#include "support/run_process.h"

namespace kolvane::testing {
namespace {

using platform::RetryOnSignal;
using platform::UniqueFd;

class Pipe {
  public:
    Pipe() {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) {
            throw std::runtime_error("cannot create a pipe");
        }
        read_ = UniqueFd(fds[0]);
        write_ = UniqueFd(fds[1]);
    }
    int Read() const { return read_.Get(); }
    int Write() const { return write_.Get(); }
    void CloseRead() { read_.Close(); }
    void CloseWrite() { write_.Close(); }

  private:
    UniqueFd read_;
    UniqueFd write_;
};

[[noreturn]] void StartChild(const ProcessRun& run, Pipe& in, Pipe& out, Pipe& err) {
    if (::dup2(in.Read(), STDIN_FILENO) < 0 || ::dup2(out.Write(), STDOUT_FILENO) < 0 ||
        ::dup2(err.Write(), STDERR_FILENO) < 0) {
        ::_exit(127);
    }
    if (!run.directory.empty() && ::chdir(run.directory.c_str()) != 0) {
        ::_exit(127);
    }
    for (const auto& [name, value] : run.environment) {
        if (value) {
            ::setenv(name.c_str(), value->c_str(), 1);
        } else {
            ::unsetenv(name.c_str());
        }
    }
    std::vector<char*> argv;
    for (const std::string& arg : run.args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
}

}  // namespace

ProcessResult RunProcess(const ProcessRun& run) {
    if (run.args.empty()) {
        throw std::invalid_argument("no program to run");
    }
    // A program that stops reading its input must not end the test with SIGPIPE.
    ::signal(SIGPIPE, SIG_IGN);
    Pipe in, out, err;
    const pid_t child = ::fork();
    if (child < 0) {
        throw std::runtime_error("cannot start " + run.args[0]);
    }
    if (child == 0) {
        StartChild(run, in, out, err);
    }
    in.CloseRead();
    out.CloseWrite();
    err.CloseWrite();
    ::fcntl(in.Write(), F_SETFL, O_NONBLOCK);

    ProcessResult result;
    std::size_t written = 0;
    if (run.input.empty()) {
        in.CloseWrite();
    }
    ::fcntl(out.Read(), F_SETFL, O_NONBLOCK);
    ::fcntl(err.Read(), F_SETFL, O_NONBLOCK);
    const auto drain = [&] {
        char buffer[4096];
        for (int fd : {out.Read(), err.Read()}) {
            ssize_t got = 0;
            while ((got = RetryOnSignal([&] { return ::read(fd, buffer, sizeof buffer); })) > 0) {
                (fd == out.Read() ? result.out : result.err)
                    .append(buffer, static_cast<std::size_t>(got));
            }
        }
    };
    // The end of the process, not of its output, ends the wait: a daemon it started (such as
    // wineserver) may hold the pipes open long after.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(run.timeoutSeconds);
    int status = 0;
    for (;;) {
        const pid_t ended = ::waitpid(child, &status, WNOHANG);
        if (ended == child) {
            drain();
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            result.timedOut = true;
            ::kill(child, SIGKILL);
            RetryOnSignal([&] { return ::waitpid(child, &status, 0); });
            drain();
            break;
        }
        pollfd fds[3] = {
            {out.Read(), POLLIN, 0}, {err.Read(), POLLIN, 0}, {in.Write(), POLLOUT, 0}};
        ::poll(fds, in.Write() >= 0 ? 3 : 2, 20);
        drain();
        if (in.Write() >= 0 && (fds[2].revents & (POLLOUT | POLLERR | POLLHUP)) != 0) {
            const ssize_t put = RetryOnSignal([&] {
                return ::write(in.Write(), run.input.data() + written, run.input.size() - written);
            });
            if (put > 0) {
                written += static_cast<std::size_t>(put);
            }
            if (put < 0 && errno != EAGAIN) {
                written = run.input.size();  // the program stopped reading
            }
            if (written == run.input.size()) {
                in.CloseWrite();
            }
        }
    }
    if (!result.timedOut && WIFEXITED(status)) {
        result.exitCode = WEXITSTATUS(status);
    }
    return result;
}

std::optional<std::string> FindProgram(const std::vector<std::string>& names,
                                       const std::vector<std::string>& fallbacks) {
    const char* path = std::getenv("PATH");
    const std::string directories = path != nullptr ? path : "/usr/bin:/bin";
    for (const std::string& name : names) {
        std::size_t start = 0;
        while (start <= directories.size()) {
            std::size_t stop = directories.find(':', start);
            if (stop == std::string::npos) {
                stop = directories.size();
            }
            const std::string candidate = directories.substr(start, stop - start) + "/" + name;
            if (stop > start && ::access(candidate.c_str(), X_OK) == 0) {
                return candidate;
            }
            start = stop + 1;
        }
    }
    for (const std::string& fallback : fallbacks) {
        if (::access(fallback.c_str(), X_OK) == 0) {
            return fallback;
        }
    }
    return std::nullopt;
}

}  // namespace kolvane::testing
