#include "check/dry_run.h"

#include <optional>
#include <set>

#include "install/installer.h"
#include "messages/messages.h"
#include "names/contained_path.h"
#include "names/windows_path.h"
#include "records/installed.h"
#include "script/script_entry.h"
#include "textures/install_textures.h"
#include "textures/texture_catalog.h"

namespace kolvane::check {
namespace {

using Event = DryRunEvent;

// The events that followed one entry, up to the next.
struct Segment {
    const Event* begin = nullptr;
    const Event* end = nullptr;

    const Event* First(Event::Kind kind) const {
        for (const Event* e = begin; e != end; ++e) {
            if (e->kind == kind) {
                return e;
            }
        }
        return nullptr;
    }
    const Event* Last(Event::Kind kind) const {
        const Event* last = nullptr;
        for (const Event* e = begin; e != end; ++e) {
            if (e->kind == kind) {
                last = e;
            }
        }
        return last;
    }
    // Whether the installer found `path` to lie `where` ("inside", "outside") of a folder.
    bool Located(const std::string& path, const char* where) const {
        for (const Event* e = begin; e != end; ++e) {
            if (e->kind == Event::Kind::kLocated && e->path == path && e->reason == where) {
                return true;
            }
        }
        return false;
    }
    const Event* Message(unsigned boxType) const {
        for (const Event* e = begin; e != end; ++e) {
            if (e->kind == Event::Kind::kMessage && e->boxType == boxType) {
                return e;
            }
        }
        return nullptr;
    }
};

// The events of each entry of the file section, in order.
std::vector<Segment> FileSegmentsOf(const DryRunLog& log) {
    std::vector<Segment> segments;
    const Event* open = nullptr;
    for (const Event& event : log) {
        if (event.kind != Event::Kind::kEntry) {
            continue;
        }
        if (open != nullptr) {
            segments.push_back({open, &event});
        }
        open = event.section == Section::kFiles ? &event : nullptr;
    }
    if (open != nullptr) {
        segments.push_back({open, log.data() + log.size()});
    }
    return segments;
}

// The plan of an entry without ">>", which both sections pass over.
PlanStep SkippedStep(const CheckedEntry& entry, const char* section) {
    return {.line = entry.line,
            .section = section,
            .action = "skip",
            .subject = entry.text,
            .detail = "no \">>\" in the entry"};
}

PlanStep PlanFileEntry(const CheckedEntry& entry, const Segment& segment,
                       const std::string& packageDir, const std::string& hostPath, Report& report) {
    const std::optional<EntryParts> parts = SplitEntry(entry.text);
    if (!parts) {
        return SkippedStep(entry, "files");
    }
    PlanStep step{.line = entry.line, .section = "files"};
    step.subject = hostPath + std::string(parts->right);
    step.paths.push_back(step.subject);
    std::string folders;
    for (const Event* e = segment.begin; e != segment.end; ++e) {
        if (e->kind == Event::Kind::kDirectory) {
            folders += (folders.empty() ? "" : ", ") + e->path;
            step.paths.push_back(e->path);
        }
    }
    if (segment.Message(platform::kMbYesNo) != nullptr) {
        step.action = "ask";
        step.detail =
            "the present file is newer than the package file, or the package file cannot be "
            "read: the installer asks whether to keep it (planned as Yes: it stays)";
    } else if (const Event* copy = segment.First(Event::Kind::kCopy)) {
        step.action = copy->replaced ? "replace" : "create";
        step.detail = copy->replaced ? "the present file is not newer" : "";
        if (!folders.empty()) {
            step.detail += (step.detail.empty() ? "" : "; ") + ("creates " + folders);
        }
    } else if (segment.Message(platform::kMbOk) != nullptr) {
        step.action = "fail";
        std::string code = "copy-fails";
        if (const Event* failure = segment.First(Event::Kind::kCopyFail)) {
            step.detail = "the copy fails: " + failure->reason;
        } else if (const Event* failure = segment.Last(Event::Kind::kDirectoryFail)) {
            step.detail = "the folder " + failure->path + " cannot be created: " + failure->reason;
            step.paths.push_back(failure->path);
        } else if (!names::StaysInsideBase(parts->left) || !names::StaysInsideBase(parts->right)) {
            step.detail = "the entry leaves its folder and is refused";
            code.clear();  // reported with the entry already
        } else if (segment.Located(packageDir + "\\" + std::string(parts->left), "outside")) {
            step.detail = "the package file is a link that leads out of the package: refused";
            code.clear();  // reported with the entry already
        } else if (segment.Located(step.subject, "inside")) {
            step.detail =
                "the destination lies inside the package folder, which the installer never "
                "writes: refused";
            code = "destination-in-package";
        } else {
            step.detail = "its folder would be a drive's root, which the installer never creates";
            code = "destination-root";
        }
        if (!code.empty()) {
            report.Add(Severity::kError, entry.line, code,
                       "installing " + step.subject + " fails: " + step.detail, step.paths);
        }
    } else {
        step.action = "keep";
        step.detail = "the present file is newer; under -s it stays without a question";
    }
    if (segment.First(Event::Kind::kAttributes) != nullptr) {
        step.detail += (step.detail.empty() ? "" : "; ") +
                       std::string("the read-only flag of the present file is cleared");
    }
    return step;
}

// Where in the catalogue a definition went, from the rule that placed it and what stands in
// front of it. A definition placed after a block follows a '}', so it is neither at the start
// nor right after the first '{'.
std::string DescribePosition(const TextureCatalog& catalog, const catalog::Placement& placement) {
    switch (placement.at) {
        case catalog::InsertedAt::kTextStart:
            return "at the very start of the catalogue";
        case catalog::InsertedAt::kAfterFirstBrace:
            return "at the start of the catalogue, right after its first '{'";
        case catalog::InsertedAt::kAfterBlock:
            break;
    }
    const std::string key = catalog.KeyInFront(placement.position);
    if (!key.empty()) {
        return "after the entry with " + key;
    }
    return "at byte " + std::to_string(placement.position) + " of the catalogue";
}

// The plan of a texture entry, from what the texture section reported doing with it.
PlanStep PlanTextureEntry(const CheckedEntry& entry, const TextureCatalog& catalog,
                          const TexturePlaced& placed) {
    PlanStep step{.line = entry.line, .section = "textures"};
    const bool replaced = placed.placement.replaced;
    step.subject = catalog::IdentifierKey(placed.identifier);
    if (!placed.added) {
        step.action = replaced ? "remove" : "nothing";
        step.detail = replaced ? "the present entry is removed, nothing is added"
                               : "no entry carries it; nothing changes";
        return step;
    }
    step.action = replaced ? "replace" : "add";
    step.detail = DescribePosition(catalog, placed.placement);
    if (replaced) {
        step.detail += ", in place of the present entry with " + step.subject;
    }
    return step;
}

Owner OwnerOf(const records::Installed& installed) {
    return {.name = installed.name, .date = installed.record->date};
}

// Says which of the host's records cannot be read, and so names no owner.
void ReportUnreadable(const std::vector<records::Installed>& installed, const std::string& hostPath,
                      Report& report) {
    const std::string folder = hostPath + std::string(records::kRecordFolder);
    for (const records::Installed& entry : installed) {
        if (!entry.record) {
            report.Add(
                Severity::kWarning, 0, "record-unreadable",
                "the install record " + folder + "\\" + entry.error + "; no owner is named from it",
                {folder});
        }
    }
}

// Names the installed package on top of each file that the plan replaces, the first time the
// installation meets it (later entries replace its own copy).
void NameFileOwners(platform::Files& files, const std::string& hostPath,
                    const records::Owners& owners, Report& report) {
    std::set<std::string> written;
    for (PlanStep& step : report.plan) {
        if (step.section != "files" || (step.action != "create" && step.action != "replace")) {
            continue;
        }
        const bool first = written.insert(names::PathKey(step.subject)).second;
        const std::string relative = step.subject.substr(hostPath.size());
        if (step.action != "replace" || !first || !owners.Wrote(relative)) {
            continue;
        }
        bool missing = false;
        const std::optional<records::Hash> present = records::HashAt(files, step.subject, missing);
        const records::Installed* owner = present ? owners.OfFile(relative, *present) : nullptr;
        if (owner != nullptr) {
            step.owner = OwnerOf(*owner);
        }
    }
}

}  // namespace

DryRunLog DryRun(DryRunSeams seams, const std::string& packageDir, bool silent,
                 const SectionRead& fileSection, const SectionRead& textureSection,
                 Report& report) {
    report.dryRun = true;
    DryRunLog log;
    RecordingFiles files(seams.files, seams.probe, log);
    RecordingUi ui(log);
    PackageSystem system(packageDir);
    platform::Platform platform{seams.registry, files, ui, system};

    const HostLocator host(platform.registry);
    if (!host.HostFound()) {
        report.Add(Severity::kError, 0, "host-missing",
                   "no host installation is registered (AppPath under "
                   "Software\\Tessaline\\HMDX or QZ): the installer stops with message " +
                       std::to_string(LocalizedId(system, kMsgNoHost)));
        report.outcome = MessageText(LocalizedId(system, kMsgNoHost));
        return log;
    }
    report.host = host.HostPath();
    // The host's install records, read from the disk itself, tell who put there what the
    // installation would replace.
    const std::vector<records::Installed> installed =
        records::ListInstalled(seams.files, host.HostPath());
    ReportUnreadable(installed, host.HostPath(), report);
    const records::Owners owners(installed);
    Installer installer(platform, host.HostPath(), {.silent = silent});

    // The texture section's entries are the checker's own, read the same way and so in the
    // same order: the n-th entry the section takes up is the n-th the checker found.
    std::size_t texturesSeen = 0;
    const CheckedEntry* textureEntry = nullptr;
    std::vector<PlanStep> texturePlan;
    std::optional<std::string> catalogPath;
    bool catalogLoaded = false;
    // The block that the entry being placed meets, where a record placed one of its identifier
    // and no earlier entry of this package did (the catalogue's text is read only then).
    std::optional<std::string> present;
    std::set<int> placedBefore;
    installer.SetObservers(
        [&](Section section, const std::string& entry) {
            log.push_back({.kind = Event::Kind::kEntry, .path = entry, .section = section});
            if (section != Section::kTextures) {
                return;
            }
            textureEntry = texturesSeen < textureSection.entries.size()
                               ? &textureSection.entries[texturesSeen++]
                               : nullptr;
            if (textureEntry != nullptr && !SplitEntry(entry)) {
                texturePlan.push_back(SkippedStep(*textureEntry, "textures"));
            }
        },
        TextureObserver{
            .catalogLoaded =
                [&](const TextureCatalog& catalog) {
                    catalogPath = catalog.Path();
                    catalogLoaded = catalog.IsLoaded();
                },
            .placing =
                [&](const TextureCatalog& catalog, int identifier) {
                    const bool first = placedBefore.insert(identifier).second;
                    present = first && owners.Placed(identifier) ? catalog.EntryOf(identifier)
                                                                 : std::nullopt;
                },
            .placed =
                [&](const TextureCatalog& catalog, const TexturePlaced& placed) {
                    if (textureEntry == nullptr) {
                        return;
                    }
                    texturePlan.push_back(PlanTextureEntry(*textureEntry, catalog, placed));
                    const records::Installed* owner =
                        placed.placement.replaced && present
                            ? owners.OfTexture(placed.identifier, *present)
                            : nullptr;
                    if (owner != nullptr) {
                        texturePlan.back().owner = OwnerOf(*owner);
                    }
                },
            .writing = {},
            .written = {},
        });
    const InstallOutcome outcome = installer.Run();
    report.outcome = MessageText(LocalizedId(
        system, outcome == InstallOutcome::kFailed ? kMsgInstallFailed : kMsgInstallSucceeded));

    const std::vector<Segment> segments = FileSegmentsOf(log);
    const std::size_t fileCount = std::min(fileSection.entries.size(), segments.size());
    for (std::size_t i = 0; i < fileCount; ++i) {
        report.plan.push_back(PlanFileEntry(fileSection.entries[i], segments[i], packageDir,
                                            host.HostPath(), report));
    }
    NameFileOwners(seams.files, host.HostPath(), owners, report);

    if (catalogPath && catalogPath->empty()) {
        report.Add(Severity::kError, 0, "catalog-missing",
                   "the host registers no resource folder (ResBase): the texture section fails");
    } else if (catalogPath && !catalogLoaded) {
        report.Add(
            Severity::kError, 0, "catalog-missing",
            "the texture catalogue " + *catalogPath + " cannot be read: the texture section fails",
            {*catalogPath});
    }
    for (const Event& event : log) {
        if (event.kind == Event::Kind::kWriteFail) {
            report.Add(
                Severity::kError, 0, "catalog-write-fails",
                "the texture catalogue " + event.path + " cannot be written: " + event.reason,
                {event.path});
        }
    }
    report.plan.insert(report.plan.end(), texturePlan.begin(), texturePlan.end());
    return log;
}

}  // namespace kolvane::check
