#include "check/findings.h"

#include <algorithm>

namespace kolvane::check {

int Report::Count(Severity severity) const {
    return static_cast<int>(
        std::count_if(findings.begin(), findings.end(),
                      [severity](const Finding& f) { return f.severity == severity; }));
}

int Report::ExitCode() const {
    if (Count(Severity::kError) > 0) {
        return 2;
    }
    return findings.empty() ? 0 : 1;
}

}  // namespace kolvane::check
