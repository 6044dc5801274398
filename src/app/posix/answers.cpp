#include "app/posix/answers.h"

#include <poll.h>
#include <unistd.h>

#include <csignal>
#include <iostream>

#include "platform/posix/retry_on_signal.h"

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
    explicit RawMode(int fd) : m_fd(fd) {
        if (::tcgetattr(fd, &m_saved) != 0) {
            return;
        }
        termios raw = m_saved;
        raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        g_restoreFd = fd;
        g_restoreSettings = m_saved;
        g_restorePending = 1;
        for (int signal : kSignals) {
            m_previous[Index(signal)] = std::signal(signal, RestoreAndDie);
        }
        m_active = ::tcsetattr(fd, TCSANOW, &raw) == 0;
    }
    RawMode(const RawMode&) = delete;
    RawMode& operator=(const RawMode&) = delete;
    ~RawMode() {
        if (g_restorePending == 0) {
            return;
        }
        if (m_active) {
            ::tcsetattr(m_fd, TCSANOW, &m_saved);
        }
        g_restorePending = 0;
        for (int signal : kSignals) {
            std::signal(signal, m_previous[Index(signal)]);
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

    int m_fd;
    termios m_saved{};
    bool m_active = false;
    void (*m_previous[std::size(kSignals)])(int) = {};
};

// One byte from `fd`; none at the end of input or on an error.
std::optional<char> ReadByte(int fd) {
    char byte = 0;
    if (platform::RetryOnSignal([&] { return ::read(fd, &byte, 1); }) == 1) {
        return byte;
    }
    return std::nullopt;
}

bool MoreBytesWithin(int fd, int milliseconds) {
    pollfd waiting{fd, POLLIN, 0};
    return ::poll(&waiting, 1, milliseconds) == 1 && (waiting.revents & POLLIN) != 0;
}

// The key whose first byte is `lead`: a character typed in UTF-8 is one key, not several.
std::string WholeCharacter(int fd, char lead) {
    std::string key(1, lead);
    const auto byte = static_cast<unsigned char>(lead);
    const int following = byte >= 0xF0 ? 3 : byte >= 0xE0 ? 2 : byte >= 0xC0 ? 1 : 0;
    for (int i = 0; i < following && MoreBytesWithin(fd, 30); ++i) {
        const std::optional<char> next = ReadByte(fd);
        if (!next) {
            break;
        }
        key += *next;
    }
    return key;
}

// The rest of an escape sequence whose Escape was read: ESC [ parameters final-byte (CSI),
// ESC O x (SS3), or ESC x.
void SkipEscapeSequence(int fd) {
    const std::optional<char> introducer = ReadByte(fd);
    if (!introducer) {
        return;
    }
    if (*introducer == 'O') {
        ReadByte(fd);
        return;
    }
    if (*introducer != '[') {
        return;
    }
    // Parameter and intermediate bytes lie in 0x20..0x3F; the final byte in 0x40..0x7E.
    while (MoreBytesWithin(fd, 30)) {
        const std::optional<char> byte = ReadByte(fd);
        if (!byte || (*byte >= 0x40 && *byte <= 0x7E) || *byte < 0x20) {
            return;
        }
    }
}

}  // namespace

std::optional<std::string> LineAnswers::Next() {
    std::string line;
    if (!std::getline(m_in, line)) {
        return std::nullopt;
    }
    return Trimmed(line);
}

std::optional<std::string> KeyAnswers::Next() {
    const RawMode raw(m_fd);
    for (;;) {
        const std::optional<char> key = ReadByte(m_fd);
        if (!key || *key == '\x04') {
            return std::nullopt;
        }
        if (*key == '\r' || *key == '\n') {
            return std::string();
        }
        if (*key != '\x1b') {
            return WholeCharacter(m_fd, *key);
        }
        // A lone Escape is the key; one followed at once by more bytes starts a cursor or
        // function key, which the dialog does not use: passed over up to its final byte, so a
        // key typed right after it still counts.
        if (!MoreBytesWithin(m_fd, 30)) {
            return std::string("\x1b");
        }
        SkipEscapeSequence(m_fd);
    }
}

std::unique_ptr<AnswerSource> MakeAnswers(bool interactive) {
    if (interactive) {
        return std::make_unique<KeyAnswers>(STDIN_FILENO);
    }
    return std::make_unique<LineAnswers>(std::cin);
}

}  // namespace kolvane::app
