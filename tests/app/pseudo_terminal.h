#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <string_view>

#include "platform/posix/unique_fd.h"

namespace kolvane::app {

// A pseudo-terminal: the program's side is `terminal`, the keyboard's side `keyboard`.
class PseudoTerminal {
  public:
    PseudoTerminal() : keyboard_(::posix_openpt(O_RDWR | O_NOCTTY)) {
        if (keyboard_.Valid() && ::grantpt(keyboard_.Get()) == 0 &&
            ::unlockpt(keyboard_.Get()) == 0) {
            terminal_ = platform::UniqueFd(::open(::ptsname(keyboard_.Get()), O_RDWR | O_NOCTTY));
        }
    }
    void Type(std::string_view keys) const {
        ASSERT_EQ(::write(keyboard_.Get(), keys.data(), keys.size()),
                  static_cast<ssize_t>(keys.size()));
    }
    int Terminal() const { return terminal_.Get(); }
    // Keys typed before the program awaits them wait as typed, not as a line (which would also
    // turn Ctrl-D into a line end).
    bool HoldKeysAsTyped() const {
        termios settings{};
        if (::tcgetattr(terminal_.Get(), &settings) != 0) {
            return false;
        }
        settings.c_lflag &= static_cast<tcflag_t>(~ICANON);
        return ::tcsetattr(terminal_.Get(), TCSANOW, &settings) == 0;
    }

  private:
    platform::UniqueFd keyboard_;
    platform::UniqueFd terminal_;
};

}  // namespace kolvane::app
