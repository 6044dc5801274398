#include "remove/removal_run.h"

#include "records/host_lock.h"
#include "records/recorder.h"

namespace kolvane::removal {

std::string RecordKey(const Installed& installed) {
    const std::size_t slash = installed.file.find_last_of('\\');
    std::string key =
        slash == std::string::npos ? installed.file : installed.file.substr(slash + 1);
    constexpr std::string_view kEnd = ".txt";
    if (key.size() > kEnd.size() && key.compare(key.size() - kEnd.size(), kEnd.size(), kEnd) == 0) {
        key.resize(key.size() - kEnd.size());
    }
    return key;
}

const Installed* FindByNameOrKey(const std::vector<Installed>& installed, const std::string& name) {
    if (const Installed* found = records::Find(installed, name)) {
        return found;
    }
    for (const Installed& entry : installed) {
        if (RecordKey(entry) == name) {
            return &entry;
        }
    }
    return nullptr;
}

std::string_view StateOf(const records::InstallRecord& record, const Survey& survey) {
    if (record.state == records::RecordState::kStarted) {
        return "interrupted";
    }
    if (survey.Differs()) {
        return "changed";
    }
    return survey.Covered() ? "covered" : "ok";
}

std::uint64_t InstalledBytes(const records::InstallRecord& record) {
    std::uint64_t bytes = 0;
    for (const records::FileEntry& file : record.files) {
        bytes += file.now ? file.now->size : 0;
    }
    return bytes;
}

RunResult RemoveByName(platform::Files& files, const std::string& hostPath, const std::string& name,
                       const Progress& progress) {
    RunResult result;
    std::vector<Installed> installed = records::ListInstalled(files, hostPath);
    if (installed.empty()) {
        result.status = RunStatus::kNoRecords;
        return result;
    }
    const records::HostLock lock(files, hostPath, std::chrono::milliseconds(0));
    if (lock.Result() == platform::ClaimResult::kBusy) {
        result.status = RunStatus::kBusy;
        return result;
    }
    if (lock.Result() != platform::ClaimResult::kClaimed) {
        return result;  // kFailed: the record folder cannot be written
    }
    // Read again under the lock: a removal that held it may have changed them.
    installed = records::ListInstalled(files, hostPath);
    const Installed* entry = FindByNameOrKey(installed, name);
    if (entry == nullptr) {
        result.status = RunStatus::kNoPackage;
        return result;
    }
    result.name = entry->record ? entry->name : RecordKey(*entry);
    if (!entry->record) {
        result.status = RunStatus::kDamaged;
        result.detail = entry->error;
        return result;
    }
    const Survey survey = Look(files, hostPath, *entry->record, &installed);
    result.removal = Remove(files, hostPath, *entry, survey, installed, false, progress);
    result.status = result.removal.Failed() ? RunStatus::kFailed : RunStatus::kRemoved;
    return result;
}

}  // namespace kolvane::removal
