#include "graphics/TextureMaterials.h"

#include "log/DebugChannel.h"

#include <OgreDataStream.h>
#include <OgreMaterialManager.h>
#include <OgreTechnique.h>
#include <OgreTextureManager.h>

#include <algorithm>
#include <cmath>
#include <fstream>

namespace Kiln {
namespace {

std::string extensionOf(const std::string& name) {
    const auto dot = name.find_last_of('.');
    return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

bool loadImage(const std::string& path, const std::string& extension, Ogre::Image& image) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    try {
        image.load(Ogre::DataStreamPtr(new Ogre::FileStreamDataStream(&file, false)), extension);
        return true;
    } catch (const Ogre::Exception&) {
        return false;
    }
}

float wrap(float t) {
    const float f = t - std::floor(t);
    return std::isfinite(f) ? f : 0.0f;
}

} // namespace

void EngineTextureMaterials::loadTextureMaterial(const std::string& name, const std::string& directory) {
    if (images.count(name) || Ogre::MaterialManager::getSingleton().resourceExists(name))
        return;
    Ogre::Image image;
    if (!loadImage(directory + name, extensionOf(name), image)) {
        debugChannel("MeshRenderer") << "texture image '" << directory << name
                                      << "' could not be read; using the default material" << endl;
        return;
    }
    Ogre::TextureManager::getSingleton().loadImage(name, "General", image);
    Ogre::MaterialPtr material = Ogre::MaterialManager::getSingleton().create(name, Ogre::RGN_DEFAULT);
    Ogre::Pass* pass = material->getTechnique(0)->getPass(0);
    pass->createTextureUnitState(name);
    pass->setSceneBlending(Ogre::SBT_TRANSPARENT_ALPHA);
    images.emplace(name, std::move(image));
}

bool EngineTextureMaterials::sampleColour(const std::string& material, float u, float v,
                                          Ogre::ColourValue& colour) {
    const auto found = images.find(material);
    if (found == images.end() || found->second.getWidth() == 0 || found->second.getHeight() == 0)
        return false;
    const Ogre::Image& image = found->second;
    const auto x = std::min<std::size_t>(std::size_t(wrap(u) * float(image.getWidth())), image.getWidth() - 1);
    const auto y = std::min<std::size_t>(std::size_t(wrap(v) * float(image.getHeight())), image.getHeight() - 1);
    colour = image.getColourAt(x, y, 0);
    return true;
}

} // namespace Kiln
