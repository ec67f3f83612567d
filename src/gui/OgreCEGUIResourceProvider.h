#pragma once
// Opens the GUI toolkit's files (schemes, layouts, fonts, images) through the
// graphics engine's resource groups, so that the GUI's files are found in the
// same locations (resources.cfg) as every other resource of the program.
#include <CEGUI/ResourceProvider.h>

namespace Kiln {

class OgreCEGUIResourceProvider : public CEGUI::ResourceProvider {
public:
    /// `defaultGroup`: the engine group used when the toolkit names none.
    explicit OgreCEGUIResourceProvider(const CEGUI::String& defaultGroup);

    /// Reads the whole file. Throws CEGUI::InvalidRequestException with
    /// "OgreCEGUIResourceProvider::loadRawDataContainer - Unable to open
    /// resource file '<file>' in resource group '<group>'." when it is missing.
    void loadRawDataContainer(const CEGUI::String& filename, CEGUI::RawDataContainer& output,
                              const CEGUI::String& resourceGroup) override;
    void unloadRawDataContainer(CEGUI::RawDataContainer& data) override;
    size_t getResourceGroupFileNames(std::vector<CEGUI::String>& out,
                                     const CEGUI::String& filePattern,
                                     const CEGUI::String& resourceGroup) override;

private:
    const CEGUI::String& groupOrDefault(const CEGUI::String& group) const;
};

} // namespace Kiln
