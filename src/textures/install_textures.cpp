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
    while (m_scriptReader.ReadEntry(entry)) {
        const std::size_t marker = entry.find(">>");
        if (marker == std::string::npos) {
            continue;
        }
        const std::string_view text = entry;
        catalog.AddTexture(catalog::ParseIdentifier(text.substr(0, marker)),
                           catalog::LayOutDefinition(text.substr(marker + 2)));
    }
    return catalog.WriteBack();
}

}  // namespace kolvane
