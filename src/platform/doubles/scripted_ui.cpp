#include "platform/doubles/scripted_ui.h"

namespace kolvane::platform {

void ScriptedUi::SetProgressRange(int low, int high) {
    UiEvent event;
    event.kind = UiEvent::Kind::kRange;
    event.low = low;
    event.high = high;
    events_.push_back(event);
}

void ScriptedUi::SetProgressPosition(int position) {
    position_ = position;
    UiEvent event;
    event.kind = UiEvent::Kind::kPosition;
    event.position = position;
    events_.push_back(event);
}

int ScriptedUi::NextAnswer(unsigned boxType) {
    if (answers_.empty()) {
        ++unscripted_;
        return (boxType & 0xF) == kMbYesNo ? kIdYes : kIdOk;
    }
    const int answer = answers_.front();
    answers_.pop_front();
    return answer;
}

int ScriptedUi::ShowMessage(int stringId, unsigned boxType) {
    UiEvent event;
    event.kind = UiEvent::Kind::kMessageId;
    event.id = stringId;
    event.boxType = boxType;
    event.position = position_;
    event.answer = NextAnswer(boxType);
    events_.push_back(event);
    return event.answer;
}

int ScriptedUi::ShowMessageText(const std::string& text, unsigned boxType) {
    UiEvent event;
    event.kind = UiEvent::Kind::kMessageText;
    event.text = text;
    event.boxType = boxType;
    event.position = position_;
    event.answer = NextAnswer(boxType);
    events_.push_back(event);
    return event.answer;
}

std::vector<UiEvent> ScriptedUi::Messages() const {
    std::vector<UiEvent> messages;
    for (const UiEvent& event : events_) {
        if (event.kind == UiEvent::Kind::kMessageId || event.kind == UiEvent::Kind::kMessageText) {
            messages.push_back(event);
        }
    }
    return messages;
}

std::vector<int> ScriptedUi::MessageIds() const {
    std::vector<int> ids;
    for (const UiEvent& event : events_) {
        if (event.kind == UiEvent::Kind::kMessageId) {
            ids.push_back(event.id);
        }
    }
    return ids;
}

std::vector<int> ScriptedUi::Positions() const {
    std::vector<int> positions;
    for (const UiEvent& event : events_) {
        if (event.kind == UiEvent::Kind::kPosition) {
            positions.push_back(event.position);
        }
    }
    return positions;
}

}  // namespace kolvane::platform
