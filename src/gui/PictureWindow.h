#pragma once
// A picture shown centred over the GUI, on top of everything: the splash at
// start-up and the About and Quick help pictures. The picture is an engine
// texture from the resource group "General", registered with the toolkit as
// the image "SplashWindowIS_<file>/SplashImage". A click calls the owner.
#include <functional>
#include <string>

namespace CEGUI {
class Window;
}

namespace Kiln {

class InterfaceManager;

class PictureWindow {
public:
    /// Shows `imageFile` under the root window with `caption` (UTF-8, may be
    /// empty) written over it; `onClick` may be empty. Throws CEGUI
    /// exceptions when the picture cannot be loaded.
    PictureWindow(InterfaceManager& gui, const std::string& imageFile, std::function<void()> onClick,
                  const std::string& caption = "");
    ~PictureWindow();
    PictureWindow(const PictureWindow&) = delete;
    PictureWindow& operator=(const PictureWindow&) = delete;

    CEGUI::Window* getWindow() const { return window; }

private:
    CEGUI::Window* window = nullptr;
    std::string imageName;
    std::string textureName;
};

} // namespace Kiln
