#pragma once

#include <deque>
#include <string>
#include <vector>

#include "platform/user_interface.h"

namespace kolvane::platform {

// One thing the core did to the dialog.
struct UiEvent {
    enum class Kind { kRange, kPosition, kMessageId, kMessageText };
    Kind kind = Kind::kRange;
    int low = 0;       // kRange
    int high = 0;      // kRange
    int position = 0;  // kPosition: the new position; messages: the position while it showed
    int id = 0;        // kMessageId
    std::string text;  // kMessageText
    unsigned boxType = 0;
    int answer = 0;  // the button the message box returned
};

// A user interface for tests: records everything in order and answers message boxes from a
// queue of buttons. With the queue empty an OK box answers OK and a Yes/No box answers Yes, and
// the box is counted as unscripted.
class ScriptedUi : public UserInterface {
  public:
    void Answer(int button) { answers_.push_back(button); }

    void SetProgressRange(int low, int high) override;
    void SetProgressPosition(int position) override;
    int ShowMessage(int stringId, unsigned boxType) override;
    int ShowMessageText(const std::string& text, unsigned boxType) override;

    const std::vector<UiEvent>& Events() const { return events_; }
    std::vector<UiEvent> Messages() const;
    // The ids of the messages shown by id, in order.
    std::vector<int> MessageIds() const;
    std::vector<int> Positions() const;
    int Position() const { return position_; }
    int Unscripted() const { return unscripted_; }
    std::size_t AnswersLeft() const { return answers_.size(); }

  private:
    int NextAnswer(unsigned boxType);

    std::vector<UiEvent> events_;
    std::deque<int> answers_;
    int position_ = 0;
    int unscripted_ = 0;
};

}  // namespace kolvane::platform
