#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "app/posix/answers.h"
#include "messages/messages.h"
#include "platform/files.h"

namespace kolvane::app {

// Exit codes of kolvane-remove.
inline constexpr int kRemoveSucceeded = 0;  // removed, quit, or everything verified
inline constexpr int kRemoveDiffers = 1;    // --verify found differences
inline constexpr int kRemoveFailed = 2;     // no host, a bad command line, or a failed removal
inline constexpr int kRemoveNoPackage = 4;  // no installed package of that name

struct RemoveContext {
    platform::Files& files;
    std::string hostPath;  // with its trailing backslash; empty: no host was found
    Language language = Language::kEnglish;
    AnswerSource& answers;  // the one answer to the question whether to remove
    std::ostream& out;
    std::ostream& err;
};

// kolvane-remove after its prefix and host are found: --list, --verify [NAME], --dry-run NAME or
// NAME (plan, ask once, remove, report). Returns the exit code.
int RunRemoveProgram(const std::vector<std::string>& arguments, const RemoveContext& context);

}  // namespace kolvane::app
