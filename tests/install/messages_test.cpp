#include "messages/messages.h"

#include <gtest/gtest.h>

#include "platform/doubles/fixed_system.h"

namespace kolvane {
namespace {

using platform::FixedSystem;

TEST(LocalizedIdTest, GermanInEveryRegionKeepsTheGermanId) {
    for (std::uint16_t language : {0x0407, 0x0807, 0x0C07, 0x1007, 0x1407}) {
        FixedSystem system(language, "");
        SCOPED_TRACE(language);
        EXPECT_EQ(LocalizedId(system, kMsgNoHost), 102);
        EXPECT_EQ(LocalizedId(system, kMsgQuitButton), 110);
    }
}

TEST(LocalizedIdTest, EveryOtherLanguageGetsTheEnglishId) {
    // The primary language is the low 10 bits: 0x0417 is Romansh, not German.
    for (std::uint16_t language : {0x0409, 0x040C, 0x0809, 0x0417, 0x0000}) {
        FixedSystem system(language, "");
        SCOPED_TRACE(language);
        EXPECT_EQ(LocalizedId(system, kMsgNoHost), 202);
        EXPECT_EQ(LocalizedId(system, kMsgDescription), 208);
    }
}

TEST(LocalizedIdTest, AsksTheSystemAtEveryCall) {
    FixedSystem system(platform::kLangGermanAustria, "");
    EXPECT_EQ(LocalizedId(system, kMsgInstallFailed), 103);
    system.language = platform::kLangFrenchFrance;
    EXPECT_EQ(LocalizedId(system, kMsgInstallFailed), 203);
    EXPECT_EQ(system.languageQueries, 2);
}

TEST(MessageTextTest, HoldsBothHalvesAsWindows1252Bytes) {
    for (int id = 101; id <= kMsgLast; ++id) {
        SCOPED_TRACE(id);
        ASSERT_NE(MessageText(id), nullptr);
        ASSERT_NE(MessageText(id + 100), nullptr);
    }
    EXPECT_EQ(MessageText(100), nullptr);
    EXPECT_EQ(MessageText(kMsgLast + 1), nullptr);
    EXPECT_EQ(MessageText(kMsgLast + 101), nullptr);

    EXPECT_STREQ(MessageText(101),
                 "Inf&o \xFC"
                 "ber Kolvane...");
    EXPECT_STREQ(MessageText(201), "Inf&o about Kolvane...");
    EXPECT_STREQ(MessageText(103), "Die Installation konnte nicht korrekt durchgef\xFChrt werden.");
    EXPECT_STREQ(MessageText(108),
                 "Dieses Programm installiert zus\xE4tzliche Modelle zum Programm Halmdor (HMD).");
    EXPECT_STREQ(MessageText(209), "Install");
    EXPECT_STREQ(MessageText(210), "Quit");
}

TEST(FormatMessageTextTest, FillsThePlaceholdersInOrder) {
    EXPECT_EQ(FormatMessageText(205, {"D:\\Pkg\\a.dat", "C:\\Host\\a.dat"}),
              "Copying of the file D:\\Pkg\\a.dat to C:\\Host\\a.dat failed. Maybe a write "
              "protection is set?");
    EXPECT_EQ(FormatMessageText(206, {"C:\\Host\\new.dat", "D:\\Pkg\\old.dat"}),
              "The file: \n\nC:\\Host\\new.dat\n\n is of a newer version than the one it is to be "
              "replaced with: \n\nD:\\Pkg\\old.dat.\n\n It is recommended to keep the file.  "
              "\n\nShould the present file be kept?");
}

TEST(FormatMessageTextTest, InsertsArgumentsLiterally) {
    // Percent signs in paths are text, not directions.
    const std::string text = FormatMessageText(105, {"D:\\100%s\\%n.dat", "C:\\%%\\x"});
    EXPECT_EQ(text,
              "Das Kopieren der Datei D:\\100%s\\%n.dat nach C:\\%%\\x schl\xE4gt fehl. Diese "
              "Fehler tritt auch auf, wenn eine Schreibschutz aktiviert ist.");
    EXPECT_EQ(FormatMessageText(999, {"x"}), "");
}

}  // namespace
}  // namespace kolvane
