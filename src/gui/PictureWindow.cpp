#include "gui/PictureWindow.h"

#include "gui/InterfaceManager.h"

#include <CEGUI/CEGUI.h>

namespace Kiln {

PictureWindow::PictureWindow(InterfaceManager& gui, const std::string& imageFile,
                             std::function<void()> onClick) {
    CEGUI::ImageManager& images = CEGUI::ImageManager::getSingleton();
    CEGUI::Renderer& renderer = *CEGUI::System::getSingleton().getRenderer();
    const std::string set = "SplashWindowIS_" + imageFile;
    imageName = set + "/SplashImage";
    textureName = set;
    if (!renderer.isTextureDefined(textureName))
        renderer.createTexture(textureName, imageFile, "General");
    CEGUI::Texture& texture = renderer.getTexture(textureName);
    const CEGUI::Sizef size = texture.getOriginalDataSize();
    if (!images.isDefined(imageName)) {
        auto& image = static_cast<CEGUI::BasicImage&>(images.create("BasicImage", imageName));
        image.setTexture(&texture);
        image.setArea(CEGUI::Rectf(CEGUI::Vector2f(0.f, 0.f), size));
        image.setAutoScaled(CEGUI::ASM_Disabled);
    }
    CEGUI::Window* root = gui.getRootWindow();
    window = CEGUI::WindowManager::getSingleton().createWindow("DevadaGUI/SplashImage");
    window->setProperty("Image", imageName);
    window->setProperty("FrameEnabled", "false");
    window->setProperty("BackgroundEnabled", "false");
    window->setMaxSize(CEGUI::USize(CEGUI::UDim(1.f, 0.f), CEGUI::UDim(1.f, 0.f)));
    // Centred in the root's inner rectangle, in pixels.
    const CEGUI::Sizef area = root->getInnerRectClipper().getSize();
    const float left = (area.d_width - size.d_width) * 0.5f;
    const float top = (area.d_height - size.d_height) * 0.5f;
    window->setArea(CEGUI::URect(CEGUI::UDim(0.f, left), CEGUI::UDim(0.f, top),
                                 CEGUI::UDim(0.f, left + size.d_width), CEGUI::UDim(0.f, top + size.d_height)));
    window->setAlwaysOnTop(true);
    if (onClick)
        window->subscribeEvent(CEGUI::Window::EventMouseClick, [onClick](const CEGUI::EventArgs&) {
            onClick();
            return true;
        });
    root->addChild(window);
    window->show();
}

PictureWindow::~PictureWindow() {
    if (!CEGUI::System::getSingletonPtr())
        return;
    CEGUI::WindowManager::getSingleton().destroyWindow(window);
}

} // namespace Kiln
