#include "app/posix/remove_program.h"

#include <cstdint>

#include "names/windows_text.h"
#include "platform/visible_text.h"
#include "records/host_lock.h"
#include "remove/removal_run.h"
#include "remove/remover.h"

namespace kolvane::app {

namespace {

using records::FileAction;
using records::Installed;
using records::TextureAction;
using removal::ItemState;

// A host path or name from a record, as the terminal is shown it.
std::string Shown(std::string_view windowsText) {
    return platform::VisibleUtf8Text(names::Windows1252ToUtf8(windowsText),
                                     platform::LineFeeds::kShown);
}

class Texts {
  public:
    explicit Texts(Language language) : language_(language) {}
    const char* operator()(const char* german, const char* english) const {
        return InLanguage(language_, german, english);
    }

  private:
    Language language_;
};

std::string Size(std::uint64_t bytes) {
    if (bytes < 10 * 1024) {
        return std::to_string(bytes) + " B";
    }
    if (bytes < 10 * 1024 * 1024) {
        return std::to_string((bytes + 512) / 1024) + " KiB";
    }
    return std::to_string((bytes + (512 << 10)) >> 20) + " MiB";
}

std::uint64_t KeptSize(const records::InstallRecord& record) {
    std::uint64_t size = record.catalog ? record.catalog->before.size : 0;
    for (const records::FileEntry& file : record.files) {
        size += file.old ? file.old->size : 0;
    }
    return size;
}

void ReportDamaged(const std::vector<Installed>& installed, const RemoveContext& context) {
    for (const Installed& entry : installed) {
        if (!entry.record) {
            context.err << "kolvane-remove: " << Shown(entry.error) << "\n";
        }
    }
}

int List(const std::vector<Installed>& installed, const RemoveContext& context) {
    const Texts text(context.language);
    for (const Installed& entry : installed) {
        if (!entry.record) {
            continue;
        }
        const records::InstallRecord& record = *entry.record;
        std::size_t files = 0;
        for (const records::FileEntry& file : record.files) {
            files += file.action == FileAction::kCreated || file.action == FileAction::kReplaced;
        }
        const std::string_view state = removal::StateOf(
            record, removal::Look(context.files, context.hostPath, record, &installed));
        context.out << Shown(entry.name) << "  " << record.date << "  " << files
                    << text(" Dateien  ", " files  ") << record.textures.size()
                    << text(" Texturen  ", " textures  ") << Size(KeptSize(record)) << "  " << state
                    << "\n";
    }
    ReportDamaged(installed, context);
    return kRemoveSucceeded;
}

const char* StateWord(ItemState state, bool placed) {
    switch (state) {
        case ItemState::kOk:
            return "ok";
        case ItemState::kChanged:
            return "changed";
        case ItemState::kMissing:
            return "missing";
        case ItemState::kUndone:
            return placed ? "missing" : "changed";
        case ItemState::kCovered:
            return "covered";
    }
    return "changed";
}

int Verify(const std::vector<Installed>& installed, const std::string& name,
           const RemoveContext& context) {
    bool differs = false;
    for (const Installed& entry : installed) {
        if (!entry.record || (!name.empty() && entry.name != name)) {
            continue;
        }
        context.out << Shown(entry.name) << ":\n";
        const removal::Survey survey =
            removal::Look(context.files, context.hostPath, *entry.record, &installed);
        for (const removal::FileItem& file : survey.files) {
            differs = differs || file.state != ItemState::kOk;
            context.out << "  " << StateWord(file.state, file.action == FileAction::kCreated)
                        << "  " << Shown(file.path) << "\n";
        }
        for (const removal::TextureItem& texture : survey.textures) {
            differs = differs ||
                      (texture.state != ItemState::kOk && texture.state != ItemState::kCovered);
            context.out << "  "
                        << StateWord(texture.state, texture.action == TextureAction::kInserted)
                        << "  " << (context.language == Language::kGerman ? "Textur " : "texture ")
                        << texture.identifier << "\n";
        }
        if (!survey.catalogReadable) {
            differs = true;
            context.out << "  "
                        << Texts(context.language)("Katalog nicht lesbar",
                                                   "catalogue cannot be read")
                        << "\n";
        }
    }
    return differs ? kRemoveDiffers : kRemoveSucceeded;
}

// What the removal will do, one line an item.
void ShowPlan(const Installed& entry, const removal::Survey& survey, bool force,
              const RemoveContext& context) {
    const Texts text(context.language);
    context.out << text("Entfernen von ", "Removing ") << Shown(entry.name) << " ("
                << entry.record->date << "):\n";
    for (const removal::FileItem& file : survey.files) {
        const char* step = nullptr;
        switch (file.state) {
            case ItemState::kOk:
                step = file.action == FileAction::kCreated
                           ? text("l\xc3\xb6schen      ", "delete       ")
                           : text(
                                 "zur\xc3\xbc"
                                 "cksetzen  ",
                                 "restore      ");
                break;
            case ItemState::kChanged:
                step = force ? text(
                                   "trotz \xc3\x84nderung zur\xc3\xbc"
                                   "ckgenommen (aufbewahrt): ",
                                   "taken back though changed (kept): ")
                             : text("bleibt, seither ge\xc3\xa4ndert: ", "left, changed since: ");
                break;
            case ItemState::kCovered:
                step = text(
                    "bleibt, sp\xc3\xa4ter \xc3\xbc"
                    "berschrieben: ",
                    "stays, replaced later: ");
                break;
            default:
                continue;
        }
        context.out << "  " << step << Shown(file.path) << "\n";
    }
    for (const removal::TextureItem& texture : survey.textures) {
        const char* step = nullptr;
        switch (texture.state) {
            case ItemState::kOk:
                step = texture.action == TextureAction::kInserted
                           ? text("Textur entfernen  ", "remove texture   ")
                           : text(
                                 "Textur zur\xc3\xbc"
                                 "cksetzen  ",
                                 "restore texture  ");
                break;
            case ItemState::kChanged:
                step = force ? text(
                                   "Textur trotz \xc3\x84nderung zur\xc3\xbc"
                                   "ckgenommen (aufbewahrt): ",
                                   "texture taken back though changed (kept): ")
                             : text("Textur bleibt, seither ge\xc3\xa4ndert: ",
                                    "texture left, changed since: ");
                break;
            case ItemState::kCovered:
                step = text(
                    "Textur bleibt, sp\xc3\xa4ter \xc3\xbc"
                    "berschrieben: ",
                    "texture stays, replaced later: ");
                break;
            default:
                continue;
        }
        context.out << "  " << step << texture.identifier << "\n";
    }
    if (survey.catalogAsLeft) {
        context.out << "  "
                    << text("Texturen.txt wie vor der Installation",
                            "Texturen.txt as before the installation")
                    << "\n";
    }
    for (const std::string& folder : survey.folders) {
        context.out << "  " << text("Ordner entfernen, wenn leer: ", "remove folder if empty: ")
                    << Shown(folder) << "\n";
    }
}

int RemoveOne(const std::vector<Installed>& installed, const Installed& entry, bool dryRun,
              bool force, const RemoveContext& context) {
    const Texts text(context.language);
    const removal::Survey survey =
        removal::Look(context.files, context.hostPath, *entry.record, &installed);
    ShowPlan(entry, survey, force, context);
    if (dryRun) {
        return kRemoveSucceeded;
    }
    context.out << text("Entfernen? (Eingabe oder j: entfernen, q: abbrechen) ",
                        "Remove? (Enter or y: remove, q: quit) ")
                << std::flush;
    const std::optional<std::string> answer = context.answers.Next();
    context.out << "\n";
    // The end of input removes nothing: only a yes removes.
    if (!answer || (!answer->empty() && *answer != "y" && *answer != "Y" && *answer != "j" &&
                    *answer != "J")) {
        return kRemoveSucceeded;
    }
    const records::HostLock lock(context.files, context.hostPath, std::chrono::milliseconds(0));
    if (lock.Result() != platform::ClaimResult::kClaimed) {
        context.err << "kolvane-remove: "
                    << (lock.Result() == platform::ClaimResult::kBusy
                            ? text("Eine andere Installation oder Entfernung arbeitet gerade an "
                                   "diesem Programm; nichts wurde entfernt.",
                                   "Another installation or removal is working on this host; "
                                   "nothing was removed.")
                            : text("Die Sperre in Kolvane kann nicht gesetzt werden; nichts wurde "
                                   "entfernt.",
                                   "The lock in Kolvane cannot be taken; nothing was removed."))
                    << "\n";
        return kRemoveFailed;
    }
    // A bar of twenty steps, a line each time it grows.
    int shown = -1;
    const removal::Removal done = removal::Remove(
        context.files, context.hostPath, entry, survey, installed, force,
        [&](std::size_t items, std::size_t total) {
            const int filled = static_cast<int>(items * 20 / (total == 0 ? 1 : total));
            if (filled != shown && total > 1) {
                shown = filled;
                context.out << "[" << std::string(static_cast<std::size_t>(filled), '#')
                            << std::string(static_cast<std::size_t>(20 - filled), '.') << "] "
                            << items << "/" << total << "\n"
                            << std::flush;
            }
        });
    for (const std::string& path : done.left) {
        context.out << text("Seither ge\xc3\xa4ndert, nicht entfernt: ",
                            "Changed since, not removed: ")
                    << Shown(path) << "\n";
    }
    for (const int identifier : done.texturesLeft) {
        context.out << text("Textur seither ge\xc3\xa4ndert, nicht entfernt: ",
                            "Texture changed since, not removed: ")
                    << identifier << "\n";
    }
    for (const std::string& path : done.forced) {
        context.out << text(
                           "Trotz \xc3\x84nderung zur\xc3\xbc"
                           "ckgenommen, im Speicher aufbewahrt: ",
                           "Taken back though changed, kept in the store: ")
                    << Shown(path) << "\n";
    }
    for (const std::string& path : done.failed) {
        context.err << "kolvane-remove: " << text("nicht entfernt: ", "could not be removed: ")
                    << Shown(path) << "\n";
    }
    if (done.catalogFailed) {
        context.err << "kolvane-remove: "
                    << text(
                           "Texturen.txt nicht zur\xc3\xbc"
                           "ckgesetzt",
                           "Texturen.txt could not be restored")
                    << "\n";
    }
    if (done.Failed()) {
        return kRemoveFailed;
    }
    context.out << done.deleted.size() << text(" gel\xc3\xb6scht, ", " deleted, ")
                << done.restored.size()
                << text(
                       " zur\xc3\xbc"
                       "ckgesetzt, ",
                       " restored, ")
                << done.texturesUndone.size()
                << text(
                       " Texturen zur\xc3\xbc"
                       "ckgenommen.\n",
                       " textures taken back.\n");
    return kRemoveSucceeded;
}

void Usage(std::ostream& err) {
    err << "usage: kolvane-remove --list | --verify [NAME] | --dry-run NAME | [--force] NAME\n";
}

}  // namespace

int RunRemoveProgram(const std::vector<std::string>& arguments, const RemoveContext& context) {
    const bool list = arguments.size() == 1 && arguments[0] == "--list";
    const bool verify = !arguments.empty() && arguments[0] == "--verify" && arguments.size() <= 2;
    const bool dryRun = arguments.size() == 2 && arguments[0] == "--dry-run";
    const bool force = arguments.size() == 2 && arguments[0] == "--force";
    const bool remove =
        arguments.size() == 1 && !arguments[0].empty() && arguments[0].front() != '-';
    if (!list && !verify && !dryRun && !force && !remove) {
        Usage(context.err);
        return kRemoveFailed;
    }
    if (context.hostPath.empty()) {
        context.err << "kolvane-remove: "
                    << Texts(context.language)("kein Halmdor gefunden", "no host found") << "\n";
        return kRemoveFailed;
    }
    const std::vector<Installed> installed =
        records::ListInstalled(context.files, context.hostPath);
    if (list) {
        return List(installed, context);
    }
    const std::string name = arguments.size() == 2 ? arguments[1] : (remove ? arguments[0] : "");
    const Installed* entry = name.empty() ? nullptr : records::Find(installed, name);
    if (!name.empty() && entry == nullptr) {
        ReportDamaged(installed, context);
        context.err << "kolvane-remove: "
                    << Texts(context.language)("kein installiertes Paket namens ",
                                               "no installed package called ")
                    << Shown(name) << "\n";
        return kRemoveNoPackage;
    }
    if (entry != nullptr && !entry->record) {
        ReportDamaged({*entry}, context);
        return kRemoveFailed;
    }
    if (verify) {
        ReportDamaged(installed, context);
        return Verify(installed, name, context);
    }
    return RemoveOne(installed, *entry, dryRun, force, context);
}

}  // namespace kolvane::app
