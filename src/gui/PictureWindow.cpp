#include "gui/PictureWindow.h"

#include "gui/InterfaceManager.h"

#include <CEGUI/CEGUI.h>

namespace Kiln {

PictureWindow::PictureWindow(InterfaceManager& gui, const std::string& imageFile,
                             std::function<void()> onClick, const std::string& caption) {
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
    if (!caption.empty()) {
        // Text is drawn by the GUI rather than baked into the picture, so it
        // stays sharp and follows the language.
        CEGUI::Window* text = CEGUI::WindowManager::getSingleton().createWindow("Morvel/StaticText", "Caption");
        text->setArea(CEGUI::URect(CEGUI::UDim(0.f, 28.f), CEGUI::UDim(0.f, 24.f), CEGUI::UDim(1.f, -28.f),
                                   CEGUI::UDim(1.f, -24.f)));
        text->setProperty("FrameEnabled", "false");
        text->setProperty("BackgroundEnabled", "false");
        text->setProperty("HorzFormatting", "WordWrapLeftAligned");
        text->setProperty("VertFormatting", "TopAligned");
        text->setProperty("TextColours", "tl:FF1E2430 tr:FF1E2430 bl:FF1E2430 br:FF1E2430");
        text->setMousePassThroughEnabled(true);
        text->setText(toGuiString(caption));
        window->addChild(text);
    }
    root->addChild(window);
    window->show();
}

PictureWindow::~PictureWindow() {
    if (!CEGUI::System::getSingletonPtr())
        return;
    CEGUI::WindowManager::getSingleton().destroyWindow(window);
}

} // namespace Kiln
