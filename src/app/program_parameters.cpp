#include "app/program_parameters.h"

namespace kolvane {

// Declared in one translation unit, so their order of construction is the order written here.
cmdline::SwitchParameter SilentSwitch('s',
                                      "Silent: No request about skipping installation just doing "
                                      "default",
                                      0);
cmdline::HelpParameter HelpSwitch;

}  // namespace kolvane
