#pragma once

// For tests only: the program never calls this, and only test binaries link
// kolvane_cmdline_testing.

namespace cmdline::testing {

// Puts the library back to its state after static construction, so that each test case starts
// from one parse per process: the counters, LastError, RequestedExit and PendingText are cleared,
// and every enrolled parameter loses its Seen flag, its switch state and its value. The list of
// parameters, the usage preamble and the hooks stay as they are.
void ResetState();

}  // namespace cmdline::testing
