#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"
#include "remove/remover.h"

// One removal of a named package from start to end, without questions: the host's records read,
// the package found, the host's removal lock taken, the host surveyed and the package taken back.
// The removers of both programs start here when they remove without asking.
namespace kolvane::removal {

// The record's own name: its file name without the folder and ".txt" ("record-DATE-SCRIPT").
// It never changes, unlike the name a package is listed under.
std::string RecordKey(const Installed& installed);

// The package whose listed name or record key is `name`; none when neither is.
const Installed* FindByNameOrKey(const std::vector<Installed>& installed, const std::string& name);

// How an installation stands, as the removers list it: "interrupted" (its run was stopped
// before its end), "changed" (something it wrote was changed since), "covered" (a later
// installation replaced part of it) or "ok".
std::string_view StateOf(const records::InstallRecord& record, const Survey& survey);

// The bytes of the files the installation put in place.
std::uint64_t InstalledBytes(const records::InstallRecord& record);

enum class RunStatus {
    kRemoved,    // taken back; what changed since may have been left (Removal::left)
    kNoRecords,  // the host holds no record at all
    kNoPackage,  // no record has that name
    kDamaged,    // the package's record cannot be read (`detail`: file and line)
    kBusy,       // another removal holds the host's lock
    kFailed,     // something could not be taken back (Removal says what)
};

struct RunResult {
    RunStatus status = RunStatus::kFailed;
    std::string name;    // the package's listed name, once found
    std::string detail;  // for kDamaged, what is wrong with the record
    Removal removal;
};

// Removes the package `name` (its listed name or its record key) from the host at `hostPath`
// (with its trailing backslash), leaving what changed since. Nothing is removed unless the
// status is kRemoved or kFailed. `progress` as Remove's.
RunResult RemoveByName(platform::Files& files, const std::string& hostPath, const std::string& name,
                       const Progress& progress = {});

}  // namespace kolvane::removal
