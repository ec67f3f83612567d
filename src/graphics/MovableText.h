#pragma once
// Text that floats in the scene at its node's position, always turned to
// the camera (labels, measurements).
#include <OgreColourValue.h>
#include <OgreMaterial.h>
#include <OgreMovableObject.h>
#include <OgreRenderOperation.h>
#include <OgreRenderable.h>

#include <string>

namespace Ogre {
class Font;
}

namespace Kiln {

class MovableText : public Ogre::MovableObject, public Ogre::Renderable {
public:
    enum HorizontalAlignment { H_LEFT, H_CENTER };
    enum VerticalAlignment { V_BELOW, V_ABOVE, V_CENTER };

    /// Throws Kiln::Exception for an empty name or caption, or a font the
    /// font manager does not have. `characterHeight` is in world units.
    MovableText(const std::string& name, const std::string& caption,
                const std::string& fontName = "Brevant", Ogre::Real characterHeight = 1.0f,
                const Ogre::ColourValue& colour = Ogre::ColourValue::White);
    ~MovableText() override;
    MovableText(const MovableText&) = delete;
    MovableText& operator=(const MovableText&) = delete;

    void setFontName(const std::string& fontName);
    void setCaption(const std::string& caption);
    void setColour(const Ogre::ColourValue& colour);
    void setCharacterHeight(Ogre::Real height);
    void setTextAlignment(HorizontalAlignment horizontal, VerticalAlignment vertical);
    /// Drawn over everything else (the default) or hidden behind objects.
    void showOnTop(bool onTop);

    const std::string& getCaption() const { return caption; }
    const std::string& getFontName() const { return fontName; }
    const Ogre::ColourValue& getColour() const { return colour; }
    Ogre::Real getCharacterHeight() const { return characterHeight; }

    // Engine interfaces.
    const Ogre::String& getMovableType() const override;
    const Ogre::AxisAlignedBox& getBoundingBox() const override { return box; }
    Ogre::Real getBoundingRadius() const override { return radius; }
    void _notifyCurrentCamera(Ogre::Camera* camera) override;
    void _updateRenderQueue(Ogre::RenderQueue* queue) override;
    void visitRenderables(Ogre::Renderable::Visitor* visitor, bool debugRenderables) override;
    const Ogre::MaterialPtr& getMaterial() const override { return material; }
    void getRenderOperation(Ogre::RenderOperation& op) override;
    void getWorldTransforms(Ogre::Matrix4* transform) const override;
    Ogre::Real getSquaredViewDepth(const Ogre::Camera* camera) const override;
    const Ogre::LightList& getLights() const override;

private:
    void rebuildGeometry();
    void writeColours();

    std::string caption;
    std::string fontName;
    Ogre::Real characterHeight;
    Ogre::ColourValue colour;
    HorizontalAlignment horizontal = H_CENTER;
    VerticalAlignment vertical = V_CENTER;
    bool onTop = true;
    Ogre::Font* font = nullptr;
    Ogre::MaterialPtr material;
    Ogre::RenderOperation renderOp;
    Ogre::AxisAlignedBox box;
    Ogre::Real radius = 0;
    const Ogre::Camera* camera = nullptr;
    bool coloursDirty = true;
};

} // namespace Kiln
