#pragma once
// Screen-space text boxes on one overlay (frame rates, hints).
#include <OgreColourValue.h>

#include <string>

namespace Ogre {
class Overlay;
class OverlayContainer;
} // namespace Ogre

namespace Kiln {

class TextRenderer {
public:
    /// Creates the overlay "Kiln::TextRenderer::Overlay" with its panel.
    /// Needs the overlay system and resources to be set up.
    TextRenderer();
    ~TextRenderer();
    TextRenderer(const TextRenderer&) = delete;
    TextRenderer& operator=(const TextRenderer&) = delete;

    /// A text area named `id` in font "Brevant", character height 16.
    /// Positions and sizes are fractions of the window when `relative`,
    /// else pixels. An id already in use is replaced.
    void addTextBox(const std::string& id, const std::string& text, float x, float y,
                    float width, float height, const Ogre::ColourValue& colour, bool relative);
    void removeTextBox(const std::string& id);
    /// Throws Kiln::Exception when there is no box `id`.
    void setText(const std::string& id, const std::string& text);
    std::string getText(const std::string& id) const;
    void setVisible(bool visible);

private:
    Ogre::Overlay* overlay = nullptr;
    Ogre::OverlayContainer* panel = nullptr;
};

} // namespace Kiln
