#include "cmdline/testing.h"

#include "cmdline/cmdline.h"

namespace cmdline::testing {

void ResetState() {
    MatchCount = 0;
    NestingDepth = 0;
    LastError = NoError;
    RequestedExit.reset();
    PendingText.clear();
    for (CommandParameter* p = ParameterList.first; p != nullptr; p = p->next) {
        p->flags &= ~static_cast<std::uint32_t>(Seen);
        if (auto* onOff = dynamic_cast<SwitchParameter*>(p)) {
            onOff->on = false;
        }
        if (auto* valued = dynamic_cast<ValueParameter*>(p)) {
            valued->value.reset();
        }
    }
}

}  // namespace cmdline::testing
