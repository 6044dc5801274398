#include "textures/texture_catalog.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>

#include "support/install_harness.h"
#include "support/real_files.h"
#include "textures/texture_entry.h"

namespace kolvane {
namespace {

using Op = platform::FaultInjectingFiles::Op;

constexpr const char* kCanonicalFile = "Textur{\tid(1)\t}\r\n\t\tTextur{\tid(3)\t}\r\n\t\t";

class TextureCatalogTest : public ::testing::Test {
  protected:
    TextureCatalog Catalog() { return TextureCatalog(h_.registry, h_.files); }

    testing::InstallHarness h_;
};

TEST_F(TextureCatalogTest, LoadsThroughTheRegistryIntoCanonicalLayout) {
    h_.WriteCatalog("  Textur{\r\n   a(1)\r\n   b\r\n   c(2)\r\n  }\r\n");
    TextureCatalog catalog = Catalog();
    EXPECT_EQ(catalog.Path(), h_.CatalogPath());
    ASSERT_TRUE(catalog.IsLoaded());
    EXPECT_EQ(catalog.Text(), "Textur{\ta(1)\tbc(2)\t}\n\t\t");
    EXPECT_EQ(h_.ReadCatalog(), "  Textur{\r\n   a(1)\r\n   b\r\n   c(2)\r\n  }\r\n")
        << "loading changes nothing on disk";
}

TEST_F(TextureCatalogTest, WorkedExampleComesOutByteForByte) {
    h_.WriteCatalog("Textur{ id(1) }\nTextur{ id(3) }\n");
    TextureCatalog catalog = Catalog();
    ASSERT_TRUE(catalog.IsLoaded());
    EXPECT_EQ(catalog.Text(), "Textur{\tid(1)\t}\n\t\tTextur{\tid(3)\t}\n\t\t");
    EXPECT_FALSE(catalog.RemoveTexture(2));
    EXPECT_EQ(catalog.FindInsertPosition(2), 15u);
    EXPECT_TRUE(catalog.AddTexture(2, catalog::LayOutDefinition("Textur{id(2)}")));
    EXPECT_EQ(catalog.Text(),
              "Textur{\tid(1)\t}Textur{\tid(2)\t}\n\t\t\n\t\tTextur{\tid(3)\t}\n\t\t");
    ASSERT_TRUE(catalog.WriteBack());
    EXPECT_EQ(h_.ReadCatalog(),
              "Textur{\tid(1)\t}Textur{\tid(2)\t}\r\n\t\tTextur{\tid(3)\t}\r\n\t\t");
    EXPECT_EQ(h_.files.Count(Op::kReplaceContents), 1)
        << "the file goes straight to its final contents";
}

TEST_F(TextureCatalogTest, SavedFileIsAFixedPoint) {
    h_.WriteCatalog(kCanonicalFile);
    {
        TextureCatalog catalog = Catalog();
        ASSERT_TRUE(catalog.IsLoaded());
        EXPECT_EQ(catalog.Text(), "Textur{\tid(1)\t}\n\t\tTextur{\tid(3)\t}\n\t\t");
        ASSERT_TRUE(catalog.WriteBack());
    }
    EXPECT_EQ(h_.ReadCatalog(), kCanonicalFile);
    TextureCatalog again = Catalog();
    ASSERT_TRUE(again.Save());
    EXPECT_EQ(h_.ReadCatalog(), kCanonicalFile);
}

TEST_F(TextureCatalogTest, EmptyAndBlankFilesLoadAndWriteBackEmpty) {
    for (const char* file : {"", " \r\n\t \r\n"}) {
        SCOPED_TRACE(::testing::PrintToString(file));
        h_.WriteCatalog(file);
        TextureCatalog catalog = Catalog();
        EXPECT_TRUE(catalog.IsLoaded());
        EXPECT_EQ(catalog.Text(), "");
        EXPECT_TRUE(catalog.WriteBack());
        EXPECT_TRUE(h_.dir.Exists(testing::InstallHarness::kCatalog));
        EXPECT_EQ(h_.ReadCatalog(), "");
    }
}

TEST_F(TextureCatalogTest, WritesLfAsCrLfWhateverTheTextHolds) {
    h_.WriteCatalog("a}");
    TextureCatalog catalog = Catalog();
    ASSERT_TRUE(catalog.IsLoaded());
    ASSERT_TRUE(catalog.Save());
    EXPECT_EQ(h_.ReadCatalog(), "a}\r\n\t\t");
}

TEST_F(TextureCatalogTest, MissingCatalogueIsNotLoadedAndNeverCreated) {
    std::filesystem::remove(h_.CatalogHostPath());
    TextureCatalog catalog = Catalog();
    EXPECT_FALSE(catalog.IsLoaded());
    EXPECT_EQ(catalog.Text(), "");
    EXPECT_FALSE(catalog.WriteBack());
    EXPECT_FALSE(h_.dir.Exists(testing::InstallHarness::kCatalog));
    EXPECT_EQ(h_.files.Count(Op::kReplaceContents), 0);
}

TEST_F(TextureCatalogTest, WithoutResBaseTouchesNoFile) {
    h_.registry = platform::MemoryRegistry();
    TextureCatalog catalog = Catalog();
    EXPECT_EQ(catalog.Path(), "");
    EXPECT_FALSE(catalog.IsLoaded());
    EXPECT_FALSE(catalog.WriteBack());
    EXPECT_FALSE(catalog.Save()) << "an empty path is never written";
    EXPECT_TRUE(h_.files.Calls().empty());
}

TEST_F(TextureCatalogTest, ReadErrorPartWayMeansNotLoadedAndNothingWritten) {
    h_.WriteCatalog(kCanonicalFile);
    h_.files.FailNth(Op::kReadContents, 1);
    TextureCatalog catalog = Catalog();
    EXPECT_FALSE(catalog.IsLoaded());
    EXPECT_EQ(catalog.Text(), "");
    EXPECT_FALSE(catalog.WriteBack());
    EXPECT_EQ(h_.files.Count(Op::kReplaceContents), 0);
    EXPECT_EQ(h_.ReadCatalog(), kCanonicalFile);

    EXPECT_TRUE(catalog.Load()) << "a later load that succeeds fills the text";
    EXPECT_FALSE(catalog.IsLoaded()) << "but the catalogue stays unloaded";
}

TEST_F(TextureCatalogTest, FailedWriteBackLeavesTheFileAsItWas) {
    const std::string original = "Textur{ id(1) }\n";
    struct Case {
        const char* name;
        void (*breakIt)(testing::InstallHarness&);
    };
    const Case cases[] = {
        {"injected failure",
         [](testing::InstallHarness& h) { h.files.FailNth(Op::kReplaceContents, 1); }},
        {"read-only file",
         [](testing::InstallHarness& h) { testing::MakeReadOnly(h.CatalogHostPath()); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing::InstallHarness h;
        h.WriteCatalog(original);
        c.breakIt(h);
        TextureCatalog catalog(h.registry, h.files);
        ASSERT_TRUE(catalog.IsLoaded());
        catalog.AddTexture(2, "Textur{\tid(2)\t}\n\t\t");
        EXPECT_FALSE(catalog.WriteBack());
        EXPECT_EQ(h.ReadCatalog(), original);
        const std::filesystem::directory_iterator folder(h.dir.HostPath("res/Rezazerad"));
        EXPECT_EQ(std::distance(begin(folder), end(folder)), 1)
            << "no temporary file is left behind";
    }
}

TEST_F(TextureCatalogTest, AddTextureNeedsADefinition) {
    h_.WriteCatalog(kCanonicalFile);
    TextureCatalog catalog = Catalog();
    const std::string before = catalog.Text();
    EXPECT_FALSE(catalog.AddTexture(1, std::nullopt));
    EXPECT_EQ(catalog.Text(), before) << "without a definition nothing is removed either";
    EXPECT_TRUE(catalog.AddTexture(1, ""));
    EXPECT_EQ(catalog.Text(), "\n\t\tTextur{\tid(3)\t}\n\t\t");
    EXPECT_EQ(catalog.FindBlockEnd(0), 17u);
}

}  // namespace
}  // namespace kolvane
