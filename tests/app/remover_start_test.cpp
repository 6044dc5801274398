// The remover mode of the Windows program as far as it is portable: which name makes the program
// the remover, which host it removes from, its command line, version and reports.
#include "app/remover_start.h"

#include <gtest/gtest.h>

#include <cstring>

#include "app/exit_codes.h"

namespace kolvane::app {
namespace {

TEST(RemoverStartTest, TheNameDecidesTheModeAndTheFolderTheHost) {
    struct Case {
        const char* module;
        bool remover;
        const char* host;  // with the registry naming D:\Reg\ .
    };
    const Case cases[] = {
        {"C:\\Halmdor\\Kolvane\\KolvaneRemove.exe", true, "C:\\Halmdor\\"},
        {"C:\\Halmdor\\KOLVANE\\kolvaneremove.EXE", true, "C:\\Halmdor\\"},
        {"C:\\Pkg\\Kolvane.exe", false, "D:\\Reg\\"},
        {"C:\\Tmp\\KolvaneRemove.exe", true, "D:\\Reg\\"},
        {"C:\\Tmp\\KolvaneRemove.exe.bak", false, "D:\\Reg\\"},
        {"KolvaneRemove.exe", true, "D:\\Reg\\"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.module);
        EXPECT_EQ(IsRemoverPath(c.module), c.remover);
        EXPECT_EQ(RemoverHost(c.module, "D:\\Reg\\"), c.host);
    }
    EXPECT_EQ(RemoverPathFor("C:\\Halmdor\\"), "C:\\Halmdor\\Kolvane\\KolvaneRemove.exe");
}

TEST(RemoverStartTest, CommandLines) {
    struct Case {
        const char* tail;
        bool silent;
        const char* name;
        bool valid;
    };
    const Case cases[] = {
        {"/S Paket", true, "Paket", true},
        {"-s \"Paket 2 (2026-12-08)\"", true, "Paket 2 (2026-12-08)", true},
        {"\"record-20261208T022131-0123456789abcdef\"", false,
         "record-20261208T022131-0123456789abcdef", true},
        {"", false, "", true},
        {"/S", true, "", false},
        {"a b", false, "a", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tail);
        const RemoverCommand command = ParseRemoverCommand(c.tail);
        EXPECT_EQ(command.silent, c.silent);
        EXPECT_EQ(command.name, c.name);
        EXPECT_EQ(command.valid, c.valid);
    }
}

TEST(RemoverStartTest, VersionsAndWhichCopyStays) {
    // VS_VERSION_INFO's header (its key shortened), then the fixed information at a 32-bit
    // boundary: signature, structure version, file version 1.2.3.4.
    const std::uint32_t words[] = {0x00340000, 0x00530056, 0xFEEF04BD,
                                   0x00010000, 0x00010002, 0x00030004};
    std::string resource(sizeof words, '\0');
    std::memcpy(resource.data(), words, sizeof words);
    EXPECT_EQ(FileVersionIn(resource), 0x0001000200030004u);
    EXPECT_EQ(FileVersionIn(resource.substr(0, 12)), std::nullopt);

    EXPECT_TRUE(ReplacesRemover(std::nullopt, 1));
    EXPECT_TRUE(ReplacesRemover(1, 2));
    EXPECT_FALSE(ReplacesRemover(2, 2)) << "an equal version is kept";
    EXPECT_FALSE(ReplacesRemover(3, 2));
}

TEST(RemoverStartTest, ReportsAndExitCodes) {
    using removal::RunStatus;
    removal::RunResult result;
    result.status = RunStatus::kRemoved;
    result.name = "Paket";
    EXPECT_EQ(ReportOf(Language::kEnglish, "x", result).text, FormatMessageText(216, {"Paket"}));
    result.removal.left = {"Modelle\\Lok.dat"};
    result.removal.texturesLeft = {4711};
    const RemoverReport left = ReportOf(Language::kGerman, "x", result);
    EXPECT_TRUE(left.success);
    EXPECT_EQ(left.text, FormatMessageText(117, {"Paket", "Modelle\\Lok.dat\nTextur 4711"}));

    result.removal.left.assign(25, "a.dat");
    EXPECT_NE(ReportOf(Language::kEnglish, "x", result).text.find("\na.dat\n... and 6 more"),
              std::string::npos);

    result = {};
    result.status = RunStatus::kNoPackage;
    EXPECT_EQ(ReportOf(Language::kEnglish, "Nix", result).text, FormatMessageText(213, {"Nix"}));
    EXPECT_FALSE(ReportOf(Language::kEnglish, "Nix", result).success);

    const std::pair<RunStatus, int> codes[] = {
        {RunStatus::kRemoved, kExitSucceeded},   {RunStatus::kNoRecords, kExitNoPackage},
        {RunStatus::kNoPackage, kExitNoPackage}, {RunStatus::kDamaged, kExitFailed},
        {RunStatus::kBusy, kExitFailed},         {RunStatus::kFailed, kExitFailed},
    };
    for (const auto& [status, code] : codes) {
        EXPECT_EQ(RemoverExitCode(status), code);
    }
}

TEST(RemoverStartTest, ThePlanNamesEachItemByWhatBecomesOfIt) {
    using records::FileAction;
    using records::TextureAction;
    using removal::ItemState;
    removal::Survey survey;
    survey.files = {{"Neu\\a.dat", ItemState::kOk, FileAction::kCreated},
                    {"b.dat", ItemState::kOk, FileAction::kReplaced},
                    {"c.dat", ItemState::kChanged, FileAction::kCreated},
                    {"d.dat", ItemState::kCovered, FileAction::kReplaced},
                    {"e.dat", ItemState::kMissing, FileAction::kCreated},
                    {"f.dat", ItemState::kUndone, FileAction::kReplaced}};
    survey.textures = {{7, ItemState::kOk, TextureAction::kInserted},
                       {8, ItemState::kOk, TextureAction::kReplaced},
                       {9, ItemState::kChanged, TextureAction::kInserted}};
    EXPECT_EQ(PlanLines(Language::kEnglish, survey),
              "remove: Neu\\a.dat\nrestore: b.dat\nstays, changed since: c.dat\n"
              "stays, replaced later: d.dat\nremove: texture 7\nrestore: texture 8\n"
              "stays, changed since: texture 9");
    EXPECT_EQ(
        PlanLines(Language::kGerman, survey)
            .rfind("entfernen: Neu\\a.dat\nzur\374cksetzen: b.dat\nbleibt, seither ge\344ndert: ",
                   0),
        0u);

    survey.textures.clear();
    survey.files.assign(21, {"x.dat", ItemState::kOk, FileAction::kCreated});
    EXPECT_EQ(PlanLines(Language::kEnglish, survey).substr(19 * 14),
              "remove: x.dat\n... and 1 more");

    records::Installed entry;
    entry.name = "Paket";
    entry.record.emplace();
    entry.record->date = "2026-12-08T02:21:31Z";
    survey.files.resize(1);
    EXPECT_EQ(RemoveQuestion(Language::kEnglish, entry, survey),
              FormatMessageText(219, {"Paket", "2026-12-08 02:21 UTC", "remove: x.dat"}));
}

}  // namespace
}  // namespace kolvane::app
