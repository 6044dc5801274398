#include "textures/texture_catalog.h"

#include <utility>

#include "textures/registry_path.h"

namespace kolvane {

TextureCatalog::TextureCatalog(platform::Registry& registry, platform::Files& files,
                               std::chrono::milliseconds patience)
    : TextureCatalog(files, LocateCatalog(registry), patience) {}

TextureCatalog::TextureCatalog(platform::Files& files, std::string path,
                               std::chrono::milliseconds patience)
    : m_files(files), m_path(std::move(path)) {
    if (m_path.empty()) {
        return;
    }
    m_claim.emplace(m_files, m_path, patience);
    m_loaded = m_claim->Result() == platform::ClaimResult::kClaimed && Load();
}

std::optional<platform::ClaimResult> TextureCatalog::Claim() const {
    return m_claim ? std::optional(m_claim->Result()) : std::nullopt;
}

bool TextureCatalog::Load() {
    if (m_path.empty()) {
        return false;
    }
    std::string contents;
    if (!m_files.ReadContents(m_path, contents)) {
        return false;
    }
    m_text = catalog::CanonicalLayout(contents);
    m_textBehind = false;
    m_editable.reset();
    return true;
}

bool TextureCatalog::Save() {
    return !m_path.empty() && m_files.ReplaceContents(m_path, catalog::WithCrLf(Text()));
}

bool TextureCatalog::WriteBack() {
    if (!m_loaded) {
        return false;
    }
    m_text = TextToWrite();
    m_textBehind = false;
    m_editable.reset();
    return Save();
}

std::string TextureCatalog::TextToWrite() const {
    // Reading back what Save writes would settle the additions into canonical layout; doing
    // that in memory first writes the file once, with its final contents.
    if (m_textBehind) {
        catalog::LayoutBuilder layout(m_editable->Size());
        m_editable->ForEachPiece([&layout](std::string_view piece) { layout.Append(piece); });
        return layout.Finish();
    }
    return catalog::CanonicalLayout(m_text);
}

const std::string& TextureCatalog::Text() const {
    if (m_textBehind) {
        m_text = m_editable->Text();
        m_textBehind = false;
    }
    return m_text;
}

catalog::EditableText& TextureCatalog::Editable() const {
    if (!m_editable) {
        // The text moves into the editable one, and is spelled out again only when asked.
        m_editable.emplace(std::move(m_text));
        m_text.clear();
        m_textBehind = true;
    }
    return *m_editable;
}

bool TextureCatalog::AddTexture(int identifier, std::optional<std::string_view> definition,
                                catalog::Placement* placed) {
    if (!definition) {
        return false;
    }
    const catalog::Placement placement = Editable().AddTexture(identifier, *definition);
    m_textBehind = true;
    if (placed != nullptr) {
        *placed = placement;
    }
    return true;
}

bool TextureCatalog::RemoveTexture(int identifier) {
    const bool removed = Editable().RemoveTexture(identifier);
    m_textBehind = m_textBehind || removed;
    return removed;
}

std::optional<std::string> TextureCatalog::EntryOf(int identifier) const {
    const std::string& text = Text();
    const Position key = text.find(catalog::IdentifierKey(identifier));
    if (key == std::string::npos) {
        return std::nullopt;
    }
    const Position start = text.rfind(catalog::kEntryStart, key);
    const Position end = start == std::string::npos ? kNone : catalog::FindBlockEnd(text, start);
    if (end == kNone) {
        return std::nullopt;
    }
    return text.substr(start, end - start + 1);
}

TextureCatalog::Position TextureCatalog::FindInsertPosition(int identifier) const {
    return Editable().FindInsertPosition(identifier);
}

TextureCatalog::Position TextureCatalog::FindBlockEnd(Position from) const {
    return Editable().FindBlockEnd(from);
}

std::string TextureCatalog::KeyInFront(Position position) const {
    return Editable().KeyInFront(position);
}

}  // namespace kolvane
