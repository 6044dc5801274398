#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "platform/system.h"

namespace kolvane {

// German ids of the string table; the English text of each is its id plus 100.
inline constexpr int kMsgAboutMenuItem = 101;
inline constexpr int kMsgNoHost = 102;
inline constexpr int kMsgInstallFailed = 103;
inline constexpr int kMsgInstallSucceeded = 104;
inline constexpr int kMsgCopyFailed = 105;
inline constexpr int kMsgPresentFileNewer = 106;
inline constexpr int kMsgScriptMissing = 107;
inline constexpr int kMsgDescription = 108;
inline constexpr int kMsgInstallButton = 109;
inline constexpr int kMsgQuitButton = 110;
inline constexpr int kMsgNotRecorded = 111;
// The remover's (KolvaneRemove.exe) texts.
inline constexpr int kMsgRemoveNoHost = 112;
inline constexpr int kMsgRemoveNoPackage = 113;
inline constexpr int kMsgRemoveDamaged = 114;
inline constexpr int kMsgRemoveBusy = 115;
inline constexpr int kMsgRemoved = 116;
inline constexpr int kMsgRemovedLeft = 117;
inline constexpr int kMsgRemoveFailed = 118;
inline constexpr int kMsgRemoveQuestion = 119;
inline constexpr int kMsgRemoveButton = 120;
inline constexpr int kMsgRemoverColumns = 121;  // the list's column headings, tab-separated
inline constexpr int kMsgRemoverDescription = 122;
// The last German id of the table.
inline constexpr int kMsgLast = 122;

// The language of every text both programs show, German or English: German when the primary
// language of the system's default language is German (any region), English otherwise. Every
// bilingual text, of the string table or not, is chosen by this one rule.
enum class Language { kGerman, kEnglish };

// The language for the Windows language identifier `languageId`.
Language LanguageOf(std::uint16_t languageId);
// The language for the system's default language.
Language TextLanguage(platform::System& system);

// `german` or `english`, as `language` says.
template <typename Text>
constexpr const Text& InLanguage(Language language, const Text& german, const Text& english) {
    return language == Language::kGerman ? german : english;
}

// The id to show for the German id `germanId`: unchanged in German, the English id otherwise.
int LocalizedId(Language language, int germanId);
int LocalizedId(platform::System& system, int germanId);

// The string-table text of `id` (Windows-1252 bytes), or null for an id the table lacks.
const char* MessageText(int id);

// The text of `id` with each "%s" replaced by the next of `args` in order ("%%" gives "%").
// The arguments are inserted as they are, so a path holding '%' is shown unchanged.
std::string FormatMessageText(int id, std::initializer_list<std::string_view> args);

}  // namespace kolvane
