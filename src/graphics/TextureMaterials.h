#pragma once
// Materials made from image files named by scene files ("wood.png" next to
// a .cr8), and the colours of those images for exporters that can only
// carry vertex colours.
#include "io/FileFormat.h"

#include <OgreImage.h>

#include <map>
#include <string>

namespace Kiln {

class EngineTextureMaterials : public ITextureMaterials {
public:
    /// Loads directory + name as an image, registers it as a 2D texture of
    /// that name in "General" and makes a material of the same name that
    /// shows it with alpha blending. A name that already has a material is
    /// left as it is. A missing or unreadable image is not an error: the
    /// "MeshRenderer" channel says so and objects using the name are drawn
    /// with the default material.
    void loadTextureMaterial(const std::string& name, const std::string& directory) override;
    /// The image colour at (u, v), wrapped into [0, 1); false for a name
    /// that no image was loaded for.
    bool sampleColour(const std::string& material, float u, float v, Ogre::ColourValue& colour) override;

private:
    std::map<std::string, Ogre::Image> images;
};

} // namespace Kiln
