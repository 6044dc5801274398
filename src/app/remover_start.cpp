#include "app/remover_start.h"

#include <cstring>
#include <vector>

#include "app/exit_codes.h"
#include "names/letter_case.h"
#include "names/windows_path.h"
#include "records/recorder.h"

namespace kolvane::app {

namespace {

// How many items a report names before it says how many more there are.
constexpr std::size_t kListedItems = 20;

std::string FileNameOf(std::string_view path) {
    const std::size_t separator = path.find_last_of("\\/");
    return std::string(separator == std::string_view::npos ? path : path.substr(separator + 1));
}

std::string FolderOf(std::string_view path) {
    const std::size_t separator = path.find_last_of("\\/");
    return separator == std::string_view::npos ? "" : std::string(path.substr(0, separator));
}

// The words of a command line: blanks separate them, double quotes group them.
std::vector<std::string> Words(std::string_view tail) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (const char c : tail) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (!quoted && (c == ' ' || c == '\t')) {
            if (inWord) {
                words.push_back(std::move(word));
                word.clear();
            }
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) {
        words.push_back(std::move(word));
    }
    return words;
}

// At most kListedItems of `lines`, one a line, then how many more there are.
std::string Listed(Language language, const std::vector<std::string>& lines) {
    std::string text;
    for (std::size_t i = 0; i < lines.size() && i < kListedItems; ++i) {
        text += (i == 0 ? "" : "\n") + lines[i];
    }
    if (lines.size() > kListedItems) {
        text += "\n" + std::string(InLanguage<std::string_view>(language, "... und ", "... and ")) +
                std::to_string(lines.size() - kListedItems) +
                std::string(InLanguage<std::string_view>(language, " weitere", " more"));
    }
    return text;
}

// The items a removal names, one a line, at most kListedItems of them.
std::string ItemLines(Language language, const std::vector<std::string>& files,
                      const std::vector<int>& textures) {
    std::vector<std::string> lines;
    for (const std::string& file : files) {
        lines.push_back(names::ShownPath(file));
    }
    for (const int identifier : textures) {
        lines.push_back(std::string(InLanguage<std::string_view>(language, "Textur ", "texture ")) +
                        std::to_string(identifier));
    }
    return Listed(language, lines);
}

// What happens to an item in state `state`, the installation having `placed` it (created the
// file, inserted the block) rather than replaced what was there; empty: nothing to say.
std::string_view Step(Language language, removal::ItemState state, bool placed) {
    using removal::ItemState;
    switch (state) {
        case ItemState::kOk:
            return placed
                       ? InLanguage<std::string_view>(language, "entfernen: ", "remove: ")
                       : InLanguage<std::string_view>(language, "zur\374cksetzen: ", "restore: ");
        case ItemState::kChanged:
            return InLanguage<std::string_view>(
                language, "bleibt, seither ge\344ndert: ", "stays, changed since: ");
        case ItemState::kCovered:
            return InLanguage<std::string_view>(
                language, "bleibt, sp\344ter ersetzt: ", "stays, replaced later: ");
        default:
            return {};
    }
}

std::string ShownDate(const std::string& date) {
    // 2026-12-08T02:21:31Z
    if (date.size() == 20 && date[10] == 'T' && date[19] == 'Z') {
        return date.substr(0, 10) + " " + date.substr(11, 5) + " UTC";
    }
    return date;
}

std::string ShownSize(std::uint64_t bytes) {
    if (bytes < 1024) {
        return std::to_string(bytes) + " B";
    }
    if (bytes < 10 * 1024 * 1024) {
        return std::to_string((bytes + 1023) / 1024) + " KB";
    }
    return std::to_string((bytes + (1 << 20) - 1) >> 20) + " MB";
}

}  // namespace

std::string PlanLines(Language language, const removal::Survey& survey) {
    std::vector<std::string> lines;
    for (const removal::FileItem& file : survey.files) {
        const std::string_view step =
            Step(language, file.state, file.action == records::FileAction::kCreated);
        if (!step.empty()) {
            lines.push_back(std::string(step) + names::ShownPath(file.path));
        }
    }
    const std::string texture(InLanguage<std::string_view>(language, "Textur ", "texture "));
    for (const removal::TextureItem& item : survey.textures) {
        const std::string_view step =
            Step(language, item.state, item.action == records::TextureAction::kInserted);
        if (!step.empty()) {
            lines.push_back(std::string(step) + texture + std::to_string(item.identifier));
        }
    }
    return Listed(language, lines);
}

std::string RemoveQuestion(Language language, const records::Installed& entry,
                           const removal::Survey& survey) {
    const std::string date = entry.record ? ShownDate(entry.record->date) : "";
    return FormatMessageText(LocalizedId(language, kMsgRemoveQuestion),
                             {entry.name, date, PlanLines(language, survey)});
}

std::vector<PackageRow> PackageRows(platform::Files& files, const std::string& hostPath,
                                    const std::vector<records::Installed>& installed) {
    std::vector<PackageRow> rows;
    for (const records::Installed& entry : installed) {
        if (!entry.record) {
            continue;
        }
        const removal::Survey survey = removal::Look(files, hostPath, *entry.record, &installed);
        rows.push_back({removal::RecordKey(entry), entry.name, ShownDate(entry.record->date),
                        std::string(removal::StateOf(*entry.record, survey)),
                        ShownSize(removal::InstalledBytes(*entry.record))});
    }
    return rows;
}

bool IsRemoverPath(std::string_view modulePath) {
    return names::FoldCase(FileNameOf(modulePath)) == names::FoldCase(kRemoverFileName);
}

std::string RemoverPathFor(const std::string& hostPath) {
    return removal::RemoverPath(hostPath);
}

std::string RemoverHost(std::string_view modulePath, const std::string& registryHost) {
    const std::string folder = FolderOf(modulePath);
    const std::string host = FolderOf(folder);
    if (!host.empty() && names::FoldCase(FileNameOf(folder)) ==
                             names::FoldCase(std::string(records::kRecordFolder))) {
        return host + "\\";
    }
    return registryHost;
}

RemoverCommand ParseRemoverCommand(std::string_view tail) {
    RemoverCommand command;
    for (std::string& word : Words(tail)) {
        if (word == "/S" || word == "/s" || word == "-S" || word == "-s") {
            command.silent = true;
        } else if (command.name.empty() && !word.empty()) {
            command.name = std::move(word);
        } else {
            command.valid = false;
        }
    }
    if (command.silent && command.name.empty()) {
        command.valid = false;
    }
    return command;
}

std::optional<std::uint64_t> FileVersionIn(std::string_view resource) {
    // VS_FIXEDFILEINFO begins with its signature, on a 32-bit boundary; the file version's most
    // and least significant halves follow the signature and the structure's version.
    constexpr std::uint32_t kSignature = 0xFEEF04BD;
    for (std::size_t at = 0; at + 16 <= resource.size(); at += 4) {
        std::uint32_t words[4];
        std::memcpy(words, resource.data() + at, sizeof words);
        if (words[0] == kSignature) {
            return (std::uint64_t{words[2]} << 32) | words[3];
        }
    }
    return std::nullopt;
}

int RemoverExitCode(removal::RunStatus status) {
    switch (status) {
        case removal::RunStatus::kRemoved:
            return kExitSucceeded;
        case removal::RunStatus::kNoRecords:
        case removal::RunStatus::kNoPackage:
            return kExitNoPackage;
        default:
            return kExitFailed;
    }
}

RemoverReport ReportOf(Language language, const std::string& name,
                       const removal::RunResult& result) {
    const std::string shown = result.name.empty() ? name : result.name;
    const removal::Removal& done = result.removal;
    const auto text = [&](int id, std::initializer_list<std::string_view> args) {
        return FormatMessageText(LocalizedId(language, id), args);
    };
    switch (result.status) {
        case removal::RunStatus::kRemoved:
            if (done.left.empty() && done.texturesLeft.empty()) {
                return {text(kMsgRemoved, {shown}), true};
            }
            return {
                text(kMsgRemovedLeft, {shown, ItemLines(language, done.left, done.texturesLeft)}),
                true};
        case removal::RunStatus::kNoRecords:
        case removal::RunStatus::kNoPackage:
            return {text(kMsgRemoveNoPackage, {shown}), false};
        case removal::RunStatus::kDamaged:
            return {text(kMsgRemoveDamaged, {shown, result.detail}), false};
        case removal::RunStatus::kBusy:
            return {text(kMsgRemoveBusy, {}), false};
        case removal::RunStatus::kFailed:
            break;
    }
    std::vector<std::string> failed = done.failed;
    if (done.catalogFailed) {
        failed.emplace_back("Texturen.txt");
    }
    if (failed.empty()) {
        failed.emplace_back(
            InLanguage<std::string_view>(language, "die Aufzeichnung", "the record"));
    }
    return {text(kMsgRemoveFailed, {shown, ItemLines(language, failed, {})}), false};
}

}  // namespace kolvane::app
