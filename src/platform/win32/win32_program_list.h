#pragma once

#include "platform/program_list.h"

namespace kolvane::platform {

// The list of installed programs in the current user's registry (HKEY_CURRENT_USER).
class Win32ProgramList : public ProgramList {
  public:
    bool Update(const std::string& prefix, const std::vector<ProgramEntry>& entries) override;
};

}  // namespace kolvane::platform
