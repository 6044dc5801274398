#include "remove/program_entries.h"

#include "names/letter_case.h"
#include "records/content_hash.h"
#include "records/recorder.h"
#include "remove/removal_run.h"

namespace kolvane::removal {

namespace {

using platform::kRegDword;
using platform::ProgramValue;

ProgramValue Text(std::string name, std::string text) {
    return {std::move(name), platform::kRegSz, std::move(text), 0};
}

ProgramValue Number(std::string name, std::uint32_t number) {
    return {std::move(name), kRegDword, "", number};
}

// The host's folder without its trailing backslash, as the user knows it.
std::string HostName(const std::string& hostPath) {
    return hostPath.size() > 1 && hostPath.back() == '\\' ? hostPath.substr(0, hostPath.size() - 1)
                                                          : hostPath;
}

// KiB of the files the installation put in place, rounded up.
std::uint32_t InstalledKiB(const records::InstallRecord& record) {
    const std::uint64_t kib = (InstalledBytes(record) + 1023) / 1024;
    return kib > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(kib);
}

// "2026-12-08T02:21:31Z" -> "20261208".
std::string InstallDate(const std::string& date) {
    std::string day;
    for (const char c : date.substr(0, 10)) {
        if (c != '-') {
            day += c;
        }
    }
    return day;
}

}  // namespace

std::string RemoverPath(const std::string& hostPath) {
    return hostPath + std::string(records::kRecordFolder) + "\\" + std::string(kRemoverFileName);
}

std::string ProgramKeyPrefix(const std::string& hostPath) {
    return "Kolvane " + records::HashText(records::HashOf(names::FoldCase(hostPath))).substr(0, 8) +
           " ";
}

std::vector<platform::ProgramEntry> ProgramEntries(const std::string& hostPath,
                                                   const std::vector<Installed>& installed) {
    const std::string prefix = ProgramKeyPrefix(hostPath);
    const std::string remover = "\"" + RemoverPath(hostPath) + "\"";
    std::vector<platform::ProgramEntry> entries;
    for (const Installed& entry : installed) {
        const std::string key = RecordKey(entry);
        const std::string quotedKey = "\"" + key + "\"";
        platform::ProgramEntry program{prefix + key, {}};
        std::vector<ProgramValue>& values = program.values;
        values.push_back(Text("DisplayIcon", RemoverPath(hostPath)));
        values.push_back(Text("DisplayName",
                              (entry.record ? entry.name : key) + " (" + HostName(hostPath) + ")"));
        if (entry.record) {
            values.push_back(Number("EstimatedSize", InstalledKiB(*entry.record)));
            values.push_back(Text("InstallDate", InstallDate(entry.record->date)));
        }
        values.push_back(Number("NoModify", 1));
        values.push_back(Number("NoRepair", 1));
        values.push_back(Text("Publisher", "Kolvane"));
        values.push_back(Text("QuietUninstallString", remover + " /S " + quotedKey));
        values.push_back(Text("UninstallString", remover + " " + quotedKey));
        entries.push_back(std::move(program));
    }
    return entries;
}

bool UpdateProgramList(platform::ProgramList& list, platform::Files& files,
                       const std::string& hostPath) {
    return list.Update(ProgramKeyPrefix(hostPath),
                       ProgramEntries(hostPath, records::ListInstalled(files, hostPath)));
}

}  // namespace kolvane::removal
