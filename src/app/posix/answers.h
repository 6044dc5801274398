#pragma once

#include <termios.h>

#include <istream>
#include <memory>
#include <optional>
#include <string>

namespace kolvane::app {

// Where the terminal dialog's answers come from.
class AnswerSource {
  public:
    virtual ~AnswerSource() = default;

    // The next answer: a line without its line end and surrounding blanks, or the key pressed
    // ("" for Enter, "\x1b" for Escape). None at the end of input.
    virtual std::optional<std::string> Next() = 0;
};

// Answers one per line, from a pipe or a file.
class LineAnswers : public AnswerSource {
  public:
    explicit LineAnswers(std::istream& in) : m_in(in) {}
    std::optional<std::string> Next() override;

  private:
    std::istream& m_in;
};

// Single key presses at a terminal, read without waiting for Enter and without echo. The terminal
// is in that mode only while a key is awaited, and is set back on every path, also when the
// program is interrupted meanwhile. Ctrl-D counts as the end of input.
class KeyAnswers : public AnswerSource {
  public:
    explicit KeyAnswers(int fd) : m_fd(fd) {}
    std::optional<std::string> Next() override;

  private:
    int m_fd;
};

// Where a program's answers come from: single keys at a terminal (`interactive`), else lines.
std::unique_ptr<AnswerSource> MakeAnswers(bool interactive);

}  // namespace kolvane::app
