#include "gui/OgreCEGUIResourceProvider.h"

#include <CEGUI/Exceptions.h>
#include <OgreResourceGroupManager.h>

namespace Kiln {

OgreCEGUIResourceProvider::OgreCEGUIResourceProvider(const CEGUI::String& defaultGroup) {
    d_defaultResourceGroup = defaultGroup;
}

const CEGUI::String& OgreCEGUIResourceProvider::groupOrDefault(const CEGUI::String& group) const {
    return group.empty() ? d_defaultResourceGroup : group;
}

void OgreCEGUIResourceProvider::loadRawDataContainer(const CEGUI::String& filename,
                                                     CEGUI::RawDataContainer& output,
                                                     const CEGUI::String& resourceGroup) {
    const CEGUI::String& group = groupOrDefault(resourceGroup);
    Ogre::ResourceGroupManager& groups = Ogre::ResourceGroupManager::getSingleton();
    Ogre::DataStreamPtr stream;
    if (groups.resourceGroupExists(group.c_str()) &&
        groups.resourceExists(group.c_str(), filename.c_str()))
        stream = groups.openResource(filename.c_str(), group.c_str(), nullptr, false);
    if (!stream)
        CEGUI_THROW(CEGUI::InvalidRequestException(
            "OgreCEGUIResourceProvider::loadRawDataContainer - Unable to open resource file '" +
            filename + "' in resource group '" + group + "'."));
    const size_t size = stream->size();
    auto* bytes = new CEGUI::uint8[size];
    stream->read(bytes, size);
    output.setData(bytes);
    output.setSize(size);
}

void OgreCEGUIResourceProvider::unloadRawDataContainer(CEGUI::RawDataContainer& data) {
    delete[] data.getDataPtr();
    data.setData(nullptr);
    data.setSize(0);
}

size_t OgreCEGUIResourceProvider::getResourceGroupFileNames(std::vector<CEGUI::String>& out,
                                                            const CEGUI::String& filePattern,
                                                            const CEGUI::String& resourceGroup) {
    const CEGUI::String& group = groupOrDefault(resourceGroup);
    Ogre::ResourceGroupManager& groups = Ogre::ResourceGroupManager::getSingleton();
    if (!groups.resourceGroupExists(group.c_str()))
        return 0;
    const Ogre::StringVectorPtr names = groups.findResourceNames(group.c_str(), filePattern.c_str());
    for (const Ogre::String& name : *names)
        out.push_back(name);
    return names->size();
}

} // namespace Kiln
