#include "platform/posix/prefix_search.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace kolvane::platform {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

constexpr std::string_view kHeader =
    "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n";

// A registry file with the host's key HKCR\Software\Tessaline\<product> and a value in it.
std::string HostRegistry(std::string_view product = "HMDX") {
    return std::string(kHeader) + "\n[Software\\\\Classes\\\\Software\\\\Tessaline\\\\" +
           std::string(product) + "] 1700000000\n\"AppPath\"=\"C:\\\\Halmdor\\\\Halmdor.exe\"\n";
}

// A registry that names the key only inside a value of another key.
std::string MentionOnly() {
    return std::string(kHeader) +
           "\n[Software\\\\Classes\\\\.txt] 1700000000\n"
           "\"Note\"=\"[Software\\\\Classes\\\\Software\\\\Tessaline\\\\HMDX] 1\"\n"
           "\"Lines\"=\"a\\n[Software\\\\Classes\\\\Software\\\\Tessaline\\\\QZ]\"\n";
}

TEST(RegistryTextNamesHostTest, OnlyKeyLinesOfTheHostsKeysCount) {
    const std::string key = "[Software\\\\Classes\\\\Software\\\\Tessaline\\\\";
    struct Case {
        std::string text;
        bool names;
    };
    const Case cases[] = {
        {HostRegistry("HMDX"), true},
        {HostRegistry("QZ"), true},
        {std::string(kHeader) + "[SOFTWARE\\\\classes\\\\Software\\\\TESSALINE\\\\hmdx]\n", true},
        {std::string(kHeader) + " \t" + key + "QZ] 1\n", true},        // blanks before '['
        {std::string(kHeader) + key + "HMDX\\\\Settings] 1\n", true},  // below the key
        {"WINE REGISTRY Version 2\r\n" + key + "QZ] 1\r\n\"A\"=\"b\"\r\n", true},
        {std::string(kHeader) + key + "HMDXY] 1\n", false},  // another product
        {std::string(kHeader) + key + "Other] 1\n" + "\"HMDX\"=\"1\"\n", false},
        {std::string(kHeader) + "[Software\\\\Tessaline\\\\HMDX] 1\n", false},  // not a class
        {std::string(kHeader) + "[Software\\\\Classes\\\\Software\\\\Tessaline] 1\n", false},
        {MentionOnly(), false},
        {key + "HMDX] 1\n", false},  // no header: Wine does not read it
        {"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(RegistryTextNamesHost(c.text), c.names);
    }
}

TEST(PrefixNamesHostTest, ReadsBothFilesInPiecesAndPassesOverWhatIsNoFile) {
    TempDir dir;
    // The key line straddles the end of the first piece the file is read in (1 MiB).
    const std::size_t piece = std::size_t{1} << 20;
    std::string big(kHeader);
    while (big.size() < piece - 20) {
        big += "\"Value\"=\"" + std::string(40, 'x') + "\"\n";
    }
    big.resize(piece - 20, 'x');
    big += "\n[Software\\\\Classes\\\\Software\\\\Tessaline\\\\HMDX] 1700000000\n";
    dir.Write("big/system.reg", big);
    EXPECT_TRUE(PrefixNamesHost(dir.HostPath("big")));

    dir.Write("user/system.reg", MentionOnly());
    dir.Write("user/user.reg", HostRegistry("QZ"));
    EXPECT_TRUE(PrefixNamesHost(dir.HostPath("user")));

    dir.Write("mention/system.reg", MentionOnly());
    EXPECT_FALSE(PrefixNamesHost(dir.HostPath("mention")));
    EXPECT_FALSE(PrefixNamesHost(dir.HostPath("none")));
    // A FIFO in the file's place would block a reader that opened it.
    fs::create_directories(dir.HostPath("fifo"));
    ASSERT_EQ(::mkfifo(dir.HostPath("fifo/system.reg").c_str(), 0600), 0);
    EXPECT_FALSE(PrefixNamesHost(dir.HostPath("fifo")));
}

// A file that no Wine wrote ends its scan, whatever follows: the prefix is passed over, and no
// more of it is read or held than the limits allow.
TEST(PrefixNamesHostTest, AFileTooLargeOrWithALineTooLongPassesThePrefixOver) {
    TempDir dir;
    const std::string longLine = "\"Value\"=\"" + std::string(kLongestRegistryLine, 'x') + "\"\n";
    const std::string hostKey = "[Software\\\\Classes\\\\Software\\\\Tessaline\\\\HMDX] 1\n";
    dir.Write("long/system.reg", std::string(kHeader) + "\"A\"=\"b\"\n" + longLine + hostKey);
    EXPECT_EQ(ReadPrefixRegistry(dir.HostPath("long")), PrefixRegistry::kPassedOver);
    EXPECT_FALSE(RegistryTextNamesHost(std::string(kHeader) + longLine + hostKey));
    // A line just within the limit is read past.
    dir.Write(
        "within/system.reg",
        std::string(kHeader) + longLine.substr(longLine.size() - kLongestRegistryLine) + hostKey);
    EXPECT_EQ(ReadPrefixRegistry(dir.HostPath("within")), PrefixRegistry::kNamesHost);

    dir.Write("large/system.reg", HostRegistry());
    ASSERT_EQ(::truncate(dir.HostPath("large/system.reg").c_str(),
                         static_cast<off_t>(kLargestRegistryFile + 1)),
              0);
    EXPECT_EQ(ReadPrefixRegistry(dir.HostPath("large")), PrefixRegistry::kPassedOver);
    dir.Write("user/user.reg", HostRegistry());
    EXPECT_EQ(ReadPrefixRegistry(dir.HostPath("user")), PrefixRegistry::kNamesHost);
}

// A home directory with prefixes where the Wine front ends keep them.
class PrefixSearchTest : public ::testing::Test {
  protected:
    std::string Prefix(const std::string& relative, const std::string& registry) {
        dir.Write(relative + "/system.reg", registry);
        return dir.HostPath(relative);
    }

    TempDir dir;
};

TEST_F(PrefixSearchTest, FindsTheHostInEveryPlaceEachPrefixOnce) {
    Prefix(".local/share/Steam/steamapps/compatdata/2000/pfx", HostRegistry());
    const std::vector<std::string> expected = {
        Prefix(".wine", HostRegistry()),
        Prefix(".local/share/bottles/bottles/Halmdor", HostRegistry()),
        Prefix(".var/app/com.usebottles.bottles/data/bottles/bottles/Railway", HostRegistry("QZ")),
        Prefix("Games/halmdor", HostRegistry()),
        Prefix("lutris-prefixes/quoted", HostRegistry()),
        Prefix("lutris-prefixes/plain", HostRegistry()),
        Prefix(".PlayOnLinux/wineprefix/Halmdor", HostRegistry()),
        // Steam's own library, found first by the way through ~/.steam/steam.
        dir.HostPath(".steam/steam/steamapps/compatdata/2000/pfx"),
        Prefix("library/steamapps/compatdata/3000/pfx", HostRegistry()),
        Prefix("old-library/steamapps/compatdata/4000/pfx", HostRegistry()),
    };
    // Prefixes that do not name the host, prefixes the search must not reach, and what is no
    // prefix.
    Prefix(".local/share/bottles/bottles/Empty", std::string(kHeader));
    for (const char* unreachable : {"nested", "system", "txt"}) {
        Prefix(std::string("lutris-prefixes/") + unreachable, HostRegistry());
    }
    Prefix("Games/mention", MentionOnly());
    const std::string passedOver =
        Prefix("Games/one-line",
               std::string(kHeader) + std::string(kLongestRegistryLine, ' ') + HostRegistry());
    fs::create_directories(dir.HostPath("Games/no-registry/drive_c"));
    dir.Write("Games/a-file", "");

    dir.Write(".config/lutris/games/halmdor.yml",
              "game:\n  exe: /x/Halmdor.exe\n  prefix: '" + dir.HostPath("lutris-prefixes/quoted") +
                  "'\n    prefix: ~/lutris-prefixes/nested\nsystem:\n  prefix: "
                  "~/lutris-prefixes/system\n");
    dir.Write(".local/share/lutris/games/second.yml",
              "# comment\ngame:\n  prefix: ~/lutris-prefixes/plain\r\n");
    dir.Write(".local/share/lutris/games/broken.yml", "game: [\n\x01\x02 prefix:\n");
    dir.Write(".local/share/lutris/games/notes.txt", "game:\n  prefix: ~/lutris-prefixes/txt\n");
    // The second way to Steam's own library leads to the same prefixes.
    fs::create_directories(dir.HostPath(".steam"));
    fs::create_directory_symlink(dir.HostPath(".local/share/Steam"), dir.HostPath(".steam/steam"));
    dir.Write(".local/share/Steam/steamapps/libraryfolders.vdf",
              "\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\"" +
                  dir.HostPath(".local/share/Steam") + "\"\n\t\t\"label\"\t\t\"path\"\n\t}\n" +
                  "\t\"1\"\n\t{\n\t\t\"path\"\t\t\"" + dir.HostPath("library") +
                  "\"\n\t\t\"apps\"\n\t\t{\n\t\t\t\"3000\"\t\t\"123\"\n\t\t}\n\t}\n}\n"
                  "\"LibraryFolders\"\n{\n\t\"1\"\t\t\"" +
                  dir.HostPath("old-library") + "\"\n}\n\"unclosed");

    const PrefixSearch search = SearchPrefixes(dir.Path());
    EXPECT_EQ(search.prefixes, expected);
    EXPECT_EQ(search.passedOver, std::vector<std::string>{passedOver});
    EXPECT_NE(std::find(search.places.begin(), search.places.end(),
                        dir.HostPath("library/steamapps/compatdata/*/pfx")),
              search.places.end());
}

TEST_F(PrefixSearchTest, AnEmptyHomeFindsNoneAndListsThePlacesSearched) {
    const PrefixSearch search = SearchPrefixes(dir.Path());
    EXPECT_TRUE(search.prefixes.empty());
    const std::vector<std::string> places = {
        dir.HostPath(".wine"),
        dir.HostPath(".local/share/bottles/bottles/*"),
        dir.HostPath(".var/app/com.usebottles.bottles/data/bottles/bottles/*"),
        dir.HostPath("Games/*"),
        dir.HostPath(".config/lutris/games/*.yml"),
        dir.HostPath(".local/share/lutris/games/*.yml"),
        dir.HostPath(".PlayOnLinux/wineprefix/*"),
        dir.HostPath(".steam/steam/steamapps/compatdata/*/pfx"),
        dir.HostPath(".local/share/Steam/steamapps/compatdata/*/pfx"),
    };
    EXPECT_EQ(search.places, places);
}

}  // namespace
}  // namespace kolvane::platform
