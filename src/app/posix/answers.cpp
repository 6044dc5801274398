#include "app/posix/answers.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace kolvane::app {
namespace {

std::string Trimmed(const std::string& line) {
    const char* const blanks = " \t\r\n\v\f";
    const std::size_t first = line.find_first_not_of(blanks);
    if (first == std::string::npos) {
        return {};
    }
    return line.substr(first, line.find_last_not_of(blanks) - first + 1);
}

// The terminal settings to restore from a signal handler; set only while a key is awaited.
volatile std::sig_atomic_t g_restorePending = 0;
int g_restoreFd = -1;
termios g_restoreSettings{};

extern "C" void RestoreAndDie(int signal) {
    if (g_restorePending != 0) {
        ::tcsetattr(g_restoreFd, TCSANOW, &g_restoreSettings);
    }
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// Puts the terminal into single-key mode for its lifetime.
class RawMode {
  public:
    explicit RawMode(int fd) : fd_(fd) {
        if (::tcgetattr(fd, &saved_) != 0) {
            return;
        }
        termios raw = saved_;
        raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        g_restoreFd = fd;
        g_restoreSettings = saved_;
        g_restorePending = 1;
        for (int signal : kSignals) {
            previous_[Index(signal)] = std::signal(signal, RestoreAndDie);
        }
        active_ = ::tcsetattr(fd, TCSANOW, &raw) == 0;
    }
    RawMode(const RawMode&) = delete;
    RawMode& operator=(const RawMode&) = delete;
    ~RawMode() {
        if (g_restorePending == 0) {
            return;
        }
        if (active_) {
            ::tcsetattr(fd_, TCSANOW, &saved_);
        }
        g_restorePending = 0;
        for (int signal : kSignals) {
            std::signal(signal, previous_[Index(signal)]);
        }
    }

  private:
    static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
    static std::size_t Index(int signal) {
        for (std::size_t i = 0; i < std::size(kSignals); ++i) {
            if (kSignals[i] == signal) {
                return i;
            }
        }
        return 0;
    }

    int fd_;
    termios saved_{};
    bool active_ = false;
    void (*previous_[std::size(kSignals)])(int) = {};
};

// One byte from `fd`; none at the end of input or on an error.
std::optional<char> ReadByte(int fd) {
    char byte = 0;
    for (;;) {
        const ssize_t got = ::read(fd, &byte, 1);
        if (got == 1) {
            return byte;
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        return std::nullopt;
    }
}

bool MoreBytesWithin(int fd, int milliseconds) {
    pollfd waiting{fd, POLLIN, 0};
    return ::poll(&waiting, 1, milliseconds) == 1 && (waiting.revents & POLLIN) != 0;
}

}  // namespace

std::optional<std::string> LineAnswers::Next() {
    std::string line;
    if (!std::getline(in_, line)) {
        return std::nullopt;
    }
    return Trimmed(line);
}

std::optional<std::string> KeyAnswers::Next() {
    const RawMode raw(fd_);
    for (;;) {
        const std::optional<char> key = ReadByte(fd_);
        if (!key || *key == '\x04') {
            return std::nullopt;
        }
        if (*key == '\r' || *key == '\n') {
            return std::string();
        }
        if (*key != '\x1b') {
            return std::string(1, *key);
        }
        // A lone Escape is the key; one followed at once by more bytes is a cursor or function
        // key, which the dialog does not use.
        if (!MoreBytesWithin(fd_, 30)) {
            return std::string("\x1b");
        }
        while (MoreBytesWithin(fd_, 0) && ReadByte(fd_)) {
        }
    }
}

}  // namespace kolvane::app
