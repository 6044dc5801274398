#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "install/installer.h"
#include "support/install_harness.h"
#include "support/real_files.h"
#include "textures/install_textures.h"

namespace kolvane {
namespace {

using Op = platform::FaultInjectingFiles::Op;
using Ids = std::vector<int>;

constexpr const char* kOneThree = "Textur{\tid(1)\t}\r\n\t\tTextur{\tid(3)\t}\r\n\t\t";

// Which read of a whole file, counted from 1, reads the catalogue in a run of the script below:
// the sections read the script themselves, so the number depends on what runs before.
constexpr const char* kAddTwo = "Dateinstallation{} Texturskript{{2>>Textur{id(2)}}}";

int CatalogueRead() {
    testing::InstallHarness probe;
    probe.WriteScript(kAddTwo);
    Installer(probe.platform, probe.HostDir(), {}).Run();
    const auto reads = probe.files.CallsOf(Op::kReadContents);
    for (std::size_t i = 0; i < reads.size(); ++i) {
        if (reads[i].path == probe.CatalogPath()) {
            return static_cast<int>(i) + 1;
        }
    }
    ADD_FAILURE() << "the run never read the catalogue";
    return 0;
}

class InstallTexturesTest : public ::testing::Test {
  protected:
    // Runs the installation with a script of an empty file section and `textures`.
    InstallOutcome RunWith(const std::string& textures) {
        h_.WriteScript("Dateinstallation{}\n" + textures);
        Installer installer(h_.platform, h_.HostDir(), {});
        return installer.Run();
    }

    testing::InstallHarness h_;
};

TEST_F(InstallTexturesTest, PutsEachEntryInPlaceInScriptOrder) {
    struct Case {
        const char* name;
        std::string catalogue;
        std::string section;
        std::string result;
    };
    const Case cases[] = {
        {"definition laid out", "", "{12>>Textur{a(1)id(12)}}", "Textur{\ta(1)\tid(12)\t}\r\n\t\t"},
        {"whitespace in the script is ignored", kOneThree, "{ 2 >> Textur{ id( 2 ) } }",
         "Textur{\tid(1)\t}Textur{\tid(2)\t}\r\n\t\tTextur{\tid(3)\t}\r\n\t\t"},
        {"5>> removes", "Textur{ id(1) } Textur{ id(5) } Textur{ id(6) }", "{5>>}",
         "Textur{\tid(1)\t}\r\n\t\tTextur{\tid(6)\t}\r\n\t\t"},
        {"a>>b>>c is identifier 0", "L{ Textur{id(1)} }", "{a>>b>>c}",
         "L{b>>cTextur{id(1)}\r\n\t\t}\r\n\t\t"},
        {"entry without >> is skipped", kOneThree, "{Textur{id(2)}}{4>>Textur{id(4)}}",
         "Textur{\tid(1)\t}\r\n\t\tTextur{\tid(3)\t}Textur{\tid(4)\t}\r\n\t\t"},
        {"second with one identifier replaces the first", kOneThree,
         "{2>>Textur{id(2)old}}{2>>Textur{id(2)new}}",
         "Textur{\tid(1)\t}Textur{\tid(2)\tnew}\r\n\t\tTextur{\tid(3)\t}\r\n\t\t"},
        {"later entries see earlier ones", kOneThree, "{5>>Textur{id(5)}}{4>>Textur{id(4)}}",
         "Textur{\tid(1)\t}\r\n\t\tTextur{\tid(3)\t}Textur{\tid(4)\t}\r\n\t\t"
         "Textur{\tid(5)\t}\r\n\t\t"},
        {"empty section rewrites the layout", "Textur{ id(1)\n}", "", "Textur{\tid(1)\t}\r\n\t\t"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        h_.WriteCatalog(c.catalogue);
        EXPECT_EQ(RunWith("Texturskript{" + c.section + "}"), InstallOutcome::kSucceeded);
        EXPECT_EQ(h_.ReadCatalog(), c.result);
    }
}

TEST_F(InstallTexturesTest, MissingSectionFailsButStillRewritesTheCatalogue) {
    h_.WriteCatalog("Textur{ id(1) }");
    EXPECT_EQ(RunWith("Andere{{1>>x}}"), InstallOutcome::kFailed);
    EXPECT_EQ(h_.ReadCatalog(), "Textur{\tid(1)\t}\r\n\t\t");
}

TEST_F(InstallTexturesTest, WithoutCatalogueFailsAndWritesNothing) {
    struct Case {
        const char* name;
        void (*breakIt)(testing::InstallHarness&);
    };
    const Case cases[] = {
        {"no ResBase",
         [](testing::InstallHarness& h) {
             h.registry = platform::MemoryRegistry();
             h.registry.SetString("Software\\Tessaline\\HMDX", "AppPath", h.HostDir("Host.exe"));
         }},
        {"no catalogue file",
         [](testing::InstallHarness& h) { std::filesystem::remove(h.CatalogHostPath()); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing::InstallHarness h;
        h.WriteCatalog("Textur{ id(3) }");
        c.breakIt(h);
        const bool existed = h.dir.Exists(testing::InstallHarness::kCatalog);
        h.WriteScript("Dateinstallation{} Texturskript{{1>>Textur{id(1)}}}");
        Installer installer(h.platform, h.HostDir(), {});
        EXPECT_EQ(installer.Run(), InstallOutcome::kFailed);
        EXPECT_EQ(h.files.Count(Op::kReplaceContents), 0);
        EXPECT_EQ(h.dir.Exists(testing::InstallHarness::kCatalog), existed);
        EXPECT_EQ(h.ReadCatalog(), existed ? "Textur{ id(3) }" : "");
    }
}

TEST_F(InstallTexturesTest, FailedWriteBackFailsTheSectionAndKeepsTheCatalogue) {
    struct Case {
        const char* name;
        void (*breakIt)(testing::InstallHarness&);
    };
    const Case cases[] = {
        {"write fails",
         [](testing::InstallHarness& h) { h.files.FailNth(Op::kReplaceContents, 1); }},
        {"read-only catalogue",
         [](testing::InstallHarness& h) { testing::MakeReadOnly(h.CatalogHostPath()); }},
        {"read fails part way",
         [](testing::InstallHarness& h) { h.files.FailNth(Op::kReadContents, CatalogueRead()); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing::InstallHarness h;
        h.WriteCatalog(kOneThree);
        h.WriteScript(kAddTwo);
        c.breakIt(h);
        EXPECT_EQ(PressInstall(h.platform, {}), InstallOutcome::kFailed);
        EXPECT_EQ(h.ui.MessageIds(), Ids{203});
        EXPECT_EQ(h.ReadCatalog(), kOneThree);
    }
}

// Two runs at once: the one that would write back a catalogue loaded before the other's
// write-back fails instead, and so does one whose catalogue another program changed meanwhile.
TEST_F(InstallTexturesTest, NeverWritesBackOverAnotherRunsOrProgramsChanges) {
    struct Case {
        const char* name;
        bool otherRunHoldsIt;
        bool changedAfterLoad;
        bool succeeds;
    };
    const Case cases[] = {
        {"alone", false, false, true},
        {"another run holds the catalogue", true, false, false},
        {"another program rewrites it after the load", false, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing::InstallHarness h;
        h.WriteCatalog(kOneThree);
        h.WriteScript(kAddTwo);
        const std::unique_ptr<platform::Files> otherRun = testing::MakeRealFiles();
        std::optional<platform::ScopedClaim> held;
        if (c.otherRunHoldsIt) {
            held.emplace(*otherRun, h.CatalogPath(), std::chrono::milliseconds(0));
            ASSERT_EQ(held->Result(), platform::ClaimResult::kClaimed);
        }
        ScriptReader reader(h.files);
        ASSERT_TRUE(reader.Open(h.PackagePath(Installer::kScriptName)));
        const EntryObserver entries;
        const TextureObserver textures{.catalogLoaded =
                                           [&](const TextureCatalog&) {
                                               if (c.changedAfterLoad) {
                                                   h.WriteCatalog("Textur{ id(9) }");
                                               }
                                           },
                                       .placing = {},
                                       .placed = {},
                                       .writing = {},
                                       .written = {}};
        EXPECT_EQ(InstallTextures({.registry = h.registry,
                                   .files = h.files,
                                   .script = reader,
                                   .observer = entries,
                                   .textures = textures,
                                   .catalogPatience = std::chrono::milliseconds(200)}),
                  c.succeeds);
        EXPECT_EQ(h.ReadCatalog(),
                  c.succeeds ? "Textur{\tid(1)\t}Textur{\tid(2)\t}\r\n\t\tTextur{\tid(3)\t}"
                               "\r\n\t\t"
                  : c.changedAfterLoad ? "Textur{ id(9) }"
                                       : kOneThree);
        EXPECT_EQ(h.files.OpenFiles(), 0) << "the claim is given up";
        EXPECT_EQ(
            std::distance(std::filesystem::directory_iterator(h.dir.HostPath("res/Rezazerad")),
                          std::filesystem::directory_iterator()),
            1)
            << "no temporary file is left behind";
    }
}

TEST_F(InstallTexturesTest, RunWhoseTextureSectionFailsEndsWithTheFailureMessage) {
    for (std::uint16_t language : {platform::kLanguageGerman, platform::kLanguageEnglish}) {
        SCOPED_TRACE(language);
        testing::InstallHarness h;
        h.system.language = language;
        h.registry = platform::MemoryRegistry();
        h.registry.SetString("Software\\Tessaline\\HMDX", "AppPath", h.HostDir("Host.exe"));
        h.WriteScript("Dateinstallation{} Texturskript{{1>>Textur{id(1)}}}");
        EXPECT_EQ(PressInstall(h.platform, {}), InstallOutcome::kFailed);
        EXPECT_EQ(h.ui.Positions(), (Ids{0, 1, 2, 3, 4})) << "both sections ran";
        ASSERT_EQ(h.ui.MessageIds().size(), 1u);
        EXPECT_EQ(h.ui.MessageIds()[0], language == platform::kLanguageGerman ? 103 : 203);
        EXPECT_EQ(h.ui.Messages()[0].boxType, platform::kMbOk);
    }
}

TEST_F(InstallTexturesTest, SuccessfulRunRegistersTheTextures) {
    h_.WriteCatalog(kOneThree);
    h_.WriteScript(kAddTwo);
    EXPECT_EQ(PressInstall(h_.platform, {}), InstallOutcome::kSucceeded);
    EXPECT_EQ(h_.ui.MessageIds(), Ids{204});
    EXPECT_EQ(h_.ReadCatalog(),
              "Textur{\tid(1)\t}Textur{\tid(2)\t}\r\n\t\tTextur{\tid(3)\t}\r\n\t\t");
}

}  // namespace
}  // namespace kolvane
