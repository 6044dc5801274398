#include "textures/texture_catalog.h"

#include <utility>

#include "textures/registry_path.h"

namespace kolvane {

TextureCatalog::TextureCatalog(platform::Registry& registry, platform::Files& files,
                               std::chrono::milliseconds patience)
    : TextureCatalog(files, LocateCatalog(registry), patience) {}

TextureCatalog::TextureCatalog(platform::Files& files, std::string path,
                               std::chrono::milliseconds patience)
    : files_(files), m_path(std::move(path)) {
    if (m_path.empty()) {
        return;
    }
    m_claim.emplace(files_, m_path, patience);
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
    if (!files_.ReadContents(m_path, contents)) {
        return false;
    }
    m_text = catalog::CanonicalLayout(contents);
    return true;
}

bool TextureCatalog::Save() {
    return !m_path.empty() && files_.ReplaceContents(m_path, catalog::WithCrLf(m_text));
}

bool TextureCatalog::WriteBack() {
    if (!m_loaded) {
        return false;
    }
    // Reading back what Save writes would settle the additions into canonical layout; doing
    // that in memory first writes the file once, with its final contents.
    m_text = catalog::CanonicalLayout(m_text);
    return Save();
}

bool TextureCatalog::AddTexture(int identifier, std::optional<std::string_view> definition,
                                catalog::Placement* placed) {
    if (!definition) {
        return false;
    }
    const catalog::Placement placement = catalog::AddTexture(m_text, identifier, *definition);
    if (placed != nullptr) {
        *placed = placement;
    }
    return true;
}

bool TextureCatalog::RemoveTexture(int identifier) {
    return catalog::RemoveTexture(m_text, identifier);
}

TextureCatalog::Position TextureCatalog::FindInsertPosition(int identifier) const {
    return catalog::FindInsertPosition(m_text, identifier);
}

TextureCatalog::Position TextureCatalog::FindBlockEnd(Position from) const {
    return catalog::FindBlockEnd(m_text, from);
}

}  // namespace kolvane
