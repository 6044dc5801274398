#include "messages/messages.h"

namespace kolvane {
namespace {

struct TableEntry {
    int id;
    const char* text;
};

constexpr TableEntry kStringTable[] = {
#define KOLVANE_STRING(id, text) {id, text},
#include "messages/messages.inc"
#undef KOLVANE_STRING
};

}  // namespace

Language LanguageOf(std::uint16_t languageId) {
    return platform::PrimaryLanguage(languageId) ==
                   platform::PrimaryLanguage(platform::kLanguageGerman)
               ? Language::kGerman
               : Language::kEnglish;
}

Language TextLanguage(platform::System& system) {
    return LanguageOf(system.DefaultLanguageId());
}

int LocalizedId(Language language, int germanId) {
    return language == Language::kGerman ? germanId : germanId + 100;
}

int LocalizedId(platform::System& system, int germanId) {
    return LocalizedId(TextLanguage(system), germanId);
}

const char* MessageText(int id) {
    for (const TableEntry& entry : kStringTable) {
        if (entry.id == id) {
            return entry.text;
        }
    }
    return nullptr;
}

std::string FormatMessageText(int id, std::initializer_list<std::string_view> args) {
    const char* pattern = MessageText(id);
    std::string text;
    if (pattern == nullptr) {
        return text;
    }
    const std::string_view* next = args.begin();
    for (const char* p = pattern; *p != '\0'; ++p) {
        if (p[0] == '%' && p[1] == 's') {
            if (next != args.end()) {
                text += *next++;
            }
            ++p;
        } else if (p[0] == '%' && p[1] == '%') {
            text += '%';
            ++p;
        } else {
            text += *p;
        }
    }
    return text;
}

}  // namespace kolvane
