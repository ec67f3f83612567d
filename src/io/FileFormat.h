#pragma once
// The common faces of the importers and exporters, picked by file
// extension through the registries in FormatRegistry.h.
#include "scene/IObjectFactory.h"

#include <OgreColourValue.h>

#include <string>
#include <vector>

namespace Kiln {

/// Where texture images named by material names come from. The graphics
/// layer supplies one; without it, readers keep the names and writers use
/// vertex colours.
class ITextureMaterials {
public:
    virtual ~ITextureMaterials() = default;
    /// Makes a material named `name` from the image file `directory + name`.
    virtual void loadTextureMaterial(const std::string& name, const std::string& directory) = 0;
    /// The texture colour of `material` at (u, v); false when it has none.
    virtual bool sampleColour(const std::string& material, float u, float v, Ogre::ColourValue& colour) = 0;
};

/// True for material names that name an image file (a '.' after the
/// second character), such as "wood.png".
bool isTextureMaterialName(const std::string& name);

class ImportFileFormat {
public:
    virtual ~ImportFileFormat() = default;
    /// Adds what the file holds to `root`, creating nodes with `factory`.
    /// Returns true; failures are thrown as Kiln::Exception.
    virtual bool load(const std::string& path, ObjectGroup& root, IObjectFactory& factory) = 0;
    virtual std::string getShortName() const = 0;
    virtual std::string getFilter() const = 0;
    void setTextureMaterials(ITextureMaterials* textures_) { textures = textures_; }

protected:
    ITextureMaterials* textures = nullptr;
};

class ExportFileFormat {
public:
    virtual ~ExportFileFormat() = default;
    /// Writes the visible part of `root`; an existing file is replaced only
    /// once the new one is complete. Returns true; failures throw.
    virtual bool save(const ObjectGroup& root, const std::string& path) = 0;
    virtual std::string getShortName() const = 0;
    virtual std::string getFilter() const = 0;
    void setTextureMaterials(ITextureMaterials* textures_) { textures = textures_; }

protected:
    ITextureMaterials* textures = nullptr;
};

/// The visible objects with a mesh below `root`, depth-first in children
/// order; hidden nodes are skipped with their subtrees.
struct ExportCollection {
    std::vector<const Object*> objects;
    std::size_t faceCount = 0;
};
ExportCollection collectExportObjects(const ObjectGroup& root);

/// The string value of "material" on `node`, or "" when unset.
std::string materialOf(const ObjectGroup& node);

} // namespace Kiln
