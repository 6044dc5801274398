#include "textures/install_textures.h"

#include "textures/texture_entry.h"

namespace kolvane {

bool InstallTextures(const TextureSectionContext& context) {
    TextureCatalog catalog(context.registry, context.files, context.catalogPatience);
    if (context.textures.catalogLoaded) {
        context.textures.catalogLoaded(catalog);
    }
    if (!catalog.IsLoaded()) {
        return false;
    }
    if (!context.script.FindSection(SectionName(Section::kTextures))) {
        // The catalogue was found, so it is still written back in its canonical layout; the
        // missing section is what the run reports.
        if (context.textures.writing) {
            context.textures.writing(catalog);
        }
        catalog.WriteBack();
        return false;
    }
    std::string entry;
    EntryParts parts;
    while (NextEntry(context.script, Section::kTextures, context.observer, entry, parts)) {
        const std::string definition = catalog::LayOutDefinition(parts.right);
        TexturePlaced placed{.identifier = catalog::ParseIdentifier(parts.left),
                             .added = !definition.empty(),
                             .placement = {},
                             .definition = definition};
        if (context.textures.placing) {
            context.textures.placing(catalog, placed.identifier);
        }
        catalog.AddTexture(placed.identifier, definition, &placed.placement);
        if (context.textures.placed) {
            context.textures.placed(catalog, placed);
        }
    }
    if (context.textures.writing) {
        context.textures.writing(catalog);
    }
    if (!catalog.WriteBack()) {
        return false;
    }
    if (context.textures.written) {
        context.textures.written(catalog);
    }
    return true;
}

}  // namespace kolvane
