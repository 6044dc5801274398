#pragma once

#include "cmdline/cmdline.h"

namespace kolvane {

// The program's parameters, in the order of the usage text.
extern cmdline::SwitchParameter SilentSwitch;  // -s: keep newer present files without asking
extern cmdline::HelpParameter HelpSwitch;      // -?

}  // namespace kolvane
