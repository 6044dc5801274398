#include "install/installer.h"
#include "textures/texture_catalog.h"
#include "textures/texture_entry.h"

namespace kolvane {

bool Installer::InstallTextures() {
    TextureCatalog catalog(platform_.registry, platform_.files);
    if (!catalog.IsLoaded()) {
        return false;
    }
    if (!m_scriptReader.FindSection("Texturskript")) {
        // The catalogue was found, so it is still written back in its canonical layout; the
        // missing section is what the run reports.
        catalog.WriteBack();
        return false;
    }
    std::string entry;
    EntryParts parts;
    while (NextEntry(entry, parts)) {
        catalog.AddTexture(catalog::ParseIdentifier(parts.left),
                           catalog::LayOutDefinition(parts.right));
    }
    return catalog.WriteBack();
}

}  // namespace kolvane
