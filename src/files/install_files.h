#pragma once

#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/system.h"
#include "platform/user_interface.h"
#include "records/recorder.h"
#include "script/section_entries.h"

namespace kolvane {

// What the file section works with: the seams, the script positioned by its caller, the two
// folders the entries are relative to, the -s switch and who watches the entries.
struct FileSectionContext {
    platform::Files& files;
    platform::UserInterface& ui;
    platform::System& system;       // the language of the messages
    ScriptReader& script;           // opened
    const std::string& hostPath;    // the host folder with its trailing backslash; empty: none
    const std::string& packageDir;  // the package folder, without a trailing backslash
    bool silent = false;            // keep newer present files without asking
    const EntryObserver& observer;
    records::Recorder* recorder = nullptr;  // what records the run; none: nothing does
};

// The "Dateinstallation" section: copies the package's files into the host tree. True when the
// section is missing or every entry was installed or kept; false when an entry failed or the
// script could not be read.
bool InstallFiles(const FileSectionContext& context);

// Whether the present file at `destination` should be offered for keeping rather than be
// replaced by `source`: it is newer, or the package file cannot be read.
bool IsPresentFileNewer(platform::Files& files, const std::string& destination,
                        const std::string& source);
// The same decision on looks at both files taken just before.
bool IsPresentFileNewer(const platform::Sight& present, const platform::Sight& package);

// Creates the directory that is to hold the file `path`, with any missing ones above it. A
// drive or a drive's root is never created. `made`, when given, learns the folders created,
// outermost first.
bool CreateDirectoryChain(platform::Files& files, const std::string& path,
                          std::vector<std::string>* made = nullptr);

}  // namespace kolvane
