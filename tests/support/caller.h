#pragma once

#include <gtest/gtest.h>

#include <version>

// std::source_location; clang 14 on libstdc++ 12 has only the experimental one, which is the same.
#if defined(__cpp_lib_source_location)
#include <source_location>
namespace kolvane::testing {
using SourceLocation = std::source_location;
}
#else
#include <experimental/source_location>
namespace kolvane::testing {
using SourceLocation = std::experimental::source_location;
}
#endif

namespace kolvane::testing {

// For a helper that many tests call: every failure it reports while this lives also names the
// line that called it, taken as a default argument `SourceLocation caller = current()`.
class CallerTrace {
  public:
    explicit CallerTrace(const SourceLocation& caller)
        : trace_(caller.file_name(), static_cast<int>(caller.line()), "called from here") {}

  private:
    ::testing::ScopedTrace trace_;
};

}  // namespace kolvane::testing
