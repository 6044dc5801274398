#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "platform/files.h"
#include "platform/registry.h"
#include "textures/catalog_text.h"
#include "textures/editable_text.h"

namespace kolvane {

// How long a run waits for another run's claim on the catalogue before it gives up.
inline constexpr std::chrono::milliseconds kCatalogPatience = std::chrono::minutes(3);

// The host's texture catalogue "Texturen.txt", held as one text in canonical layout for the
// length of one texture section. The file is read when the catalogue is created and written
// only by WriteBack; a catalogue that was not loaded never writes anything. Placements work on
// an EditableText made from the text when the first one comes; Text() spells the result out
// only when asked, so a section of many additions costs each of them only a few steps.
//
// The file is claimed before it is read and stays claimed until the catalogue is destroyed, so
// that no other run reads it in the meantime and then writes back over this run's additions; a
// catalogue that cannot be claimed within `patience` is not loaded.
class TextureCatalog {
  public:
    using Position = catalog::Position;
    static constexpr Position kNone = catalog::kNone;

    // Finds the catalogue through the host's registry entries, claims it and loads it.
    TextureCatalog(platform::Registry& registry, platform::Files& files,
                   std::chrono::milliseconds patience = kCatalogPatience);
    // Claims and loads the catalogue at `path`.
    TextureCatalog(platform::Files& files, std::string path,
                   std::chrono::milliseconds patience = kCatalogPatience);
    TextureCatalog(const TextureCatalog&) = delete;
    TextureCatalog& operator=(const TextureCatalog&) = delete;

    bool IsLoaded() const { return m_loaded; }
    // What became of the claim; none when there was no path to claim.
    std::optional<platform::ClaimResult> Claim() const;
    // The whole text; after placements this costs a pass over it.
    const std::string& Text() const;
    const std::string& Path() const { return m_path; }

    // Replaces the text with the canonical layout of the file. False, with the text unchanged,
    // when there is no path or the file cannot be read to its end.
    bool Load();
    // Writes the text with every LF as CR LF in place of the file, all or nothing.
    bool Save();
    // Writes the catalogue back in canonical layout, so that the file goes straight from its old
    // contents to the final ones. False when it was not loaded or the write failed; the file is
    // then as it was.
    bool WriteBack();
    // The text that WriteBack writes (the file holds it with CR LF line ends).
    std::string TextToWrite() const;

    // Places `definition` under `identifier`, replacing the entry that carries it. False only
    // when no definition is given; an empty one just removes the entry. `placed`, when given,
    // learns what was done.
    bool AddTexture(int identifier, std::optional<std::string_view> definition,
                    catalog::Placement* placed = nullptr);
    bool RemoveTexture(int identifier);
    // The entry that placing or removing `identifier` would remove, exactly as the text holds
    // it; none when there is none. Costs a pass over the text.
    std::optional<std::string> EntryOf(int identifier) const;
    Position FindInsertPosition(int identifier) const;
    Position FindBlockEnd(Position from) const;
    // The key a reader sees in front of `position` (EditableText::KeyInFront).
    std::string KeyInFront(Position position) const;

  private:
    catalog::EditableText& Editable() const;

    platform::Files& m_files;
    std::optional<platform::ScopedClaim> m_claim;
    bool m_loaded = false;
    // The text, unless it has moved into m_editable since it was last spelled out
    // (m_textBehind).
    mutable std::string m_text;
    mutable bool m_textBehind = false;
    mutable std::optional<catalog::EditableText> m_editable;
    std::string m_path;
};

}  // namespace kolvane
