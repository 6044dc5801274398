#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"
#include "platform/program_list.h"
#include "remove/remover.h"

// The entries of installed packages in the system's list of installed programs, one for each
// record of a host, described once for both programs: Kolvane.exe writes them into the registry,
// the native programs into the Wine prefix's user.reg.
namespace kolvane::removal {

// The name of the Windows remover in the host's record folder, and its full path there.
inline constexpr std::string_view kRemoverFileName = "KolvaneRemove.exe";
std::string RemoverPath(const std::string& hostPath);

// The beginning of the keys of the host at `hostPath`: "Kolvane " and a hash of the host's
// folder (letter case aside), so that each host's entries are its own.
std::string ProgramKeyPrefix(const std::string& hostPath);

// The entries for `installed`, the host's records: for each its key (the prefix and the record's
// key), DisplayName (package and host), Publisher, InstallDate (yyyymmdd), EstimatedSize (KiB of
// the files it installed), DisplayIcon, UninstallString and QuietUninstallString (the remover,
// for the record's key, with /S for the second), NoModify and NoRepair. A record that cannot be
// read keeps an entry, so that the remover can say what is wrong with it.
std::vector<platform::ProgramEntry> ProgramEntries(const std::string& hostPath,
                                                   const std::vector<Installed>& installed);

// Brings the host's entries in `list` up to the host's records as they are now.
bool UpdateProgramList(platform::ProgramList& list, platform::Files& files,
                       const std::string& hostPath);

}  // namespace kolvane::removal
