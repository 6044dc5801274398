#pragma once

#include <functional>
#include <string>

#include "platform/files.h"
#include "platform/registry.h"
#include "script/section_entries.h"
#include "textures/texture_catalog.h"

namespace kolvane {

// What the texture section did with one entry, for whoever watches it.
struct TexturePlaced {
    int identifier = 0;
    bool added = false;  // a definition was inserted (an empty one only removes)
    catalog::Placement placement;
    std::string_view definition;  // as inserted
};

// Who watches the texture section: the catalogue it loaded (or failed to), every placement with
// the catalogue right before and right after it, and the catalogue once it is written back
// (while the run still holds its claim).
struct TextureObserver {
    std::function<void(const TextureCatalog& catalog)> catalogLoaded;
    std::function<void(const TextureCatalog& catalog, int identifier)> placing;
    std::function<void(const TextureCatalog& catalog, const TexturePlaced& placed)> placed;
    // Just before the catalogue is written back, and once it was.
    std::function<void(const TextureCatalog& catalog)> writing;
    std::function<void(const TextureCatalog& catalog)> written;
};

// What the texture section works with: the seams and the script positioned by its caller.
struct TextureSectionContext {
    platform::Registry& registry;  // where the catalogue is
    platform::Files& files;
    ScriptReader& script;  // opened
    const EntryObserver& observer;
    const TextureObserver& textures;
    // How long to wait for another run that has claimed the catalogue.
    std::chrono::milliseconds catalogPatience = kCatalogPatience;
};

// The "Texturskript" section: registers the package's textures in the host's catalogue and
// writes it back. False when the catalogue cannot be claimed, read or written (another run
// changed it meanwhile), or the section is missing or cannot be read.
bool InstallTextures(const TextureSectionContext& context);

}  // namespace kolvane
