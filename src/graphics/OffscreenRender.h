#pragma once
// Renders a scene to an image file without the interactive program: the
// thumbnail a file manager or a web page shows.
#include <string>

namespace Kiln {

class ObjectGroup;

struct OffscreenRenderOptions {
    unsigned width = 256;
    unsigned height = 256;
    /// Folder with Plugins.cfg, resources.cfg, Config/Settings.xml and the
    /// media; the program's own materials and lights come from there.
    std::string dataDirectory;
};

/// Draws everything under `sceneRoot` with the program's materials and
/// lights, the camera framing the whole scene from the front and a little
/// above, and writes the picture to `imagePath` (the format follows the
/// extension, e.g. ".png"). The tree is left as it was. An existing file
/// is replaced only once the new picture is complete.
/// Throws Kiln::Exception when there is no X display, the size is 0 or
/// above 8192, the engine cannot start, or the file cannot be written.
void renderSceneToImage(ObjectGroup& sceneRoot, const std::string& imagePath,
                        const OffscreenRenderOptions& options);

} // namespace Kiln
