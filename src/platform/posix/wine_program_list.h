#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"
#include "platform/program_list.h"

namespace kolvane::platform {

// `text`, the current user's registry file of a Wine prefix (user.reg), with the entries below
// kUninstallKey whose keys begin with `prefix` made exactly `entries`, written as Wine writes
// them: each key as "[Software\\...] SECONDS" with its "#time=" (`now`, 100-ns steps since 1601),
// the values in the order of their names with Wine's escapes, and the key placed where Wine puts
// it (its parent's children in the order of their names). Every other line stays as it is. An
// empty `text` gets Wine's header for the user's registry first.
std::string UpdateWineProgramList(std::string_view text, const std::string& prefix,
                                  const std::vector<ProgramEntry>& entries, FileTime now);

// The list of installed programs in the user.reg of the Wine prefix at `prefixDirectory`, read
// and written without Wine, through the write core like every file of the programs. Wine reads
// the file when its server starts; a server that runs meanwhile writes its own version back when
// it ends.
class WineProgramList : public ProgramList {
  public:
    explicit WineProgramList(std::string prefixDirectory);
    bool Update(const std::string& prefix, const std::vector<ProgramEntry>& entries) override;

  private:
    std::string prefix_;
};

}  // namespace kolvane::platform
