#pragma once
// The lines and floating captions a tool shows while it works (a rotation's
// reference line, the scale markers, the measuring line), each on a scene
// node of its own name. Every frame the caller shows what the tool shows
// now, between beginFrame and endFrame; marks not shown again are hidden.
// Lines are drawn over the objects so that a hand inside an object does not
// hide them. Main thread only.
#include <OgreColourValue.h>
#include <OgreVector3.h>

#include <map>
#include <memory>
#include <string>

namespace Ogre {
class SceneManager;
class SceneNode;
} // namespace Ogre

namespace Kiln {

class DynamicLine;
class MovableText;

class ToolMarksView {
public:
    /// Height of a caption's letters, world units.
    static constexpr float captionHeight = 0.8f;

    explicit ToolMarksView(Ogre::SceneManager& sceneManager);
    ~ToolMarksView();
    ToolMarksView(const ToolMarksView&) = delete;
    ToolMarksView& operator=(const ToolMarksView&) = delete;

    void beginFrame();
    /// A straight line between two world points on the node `node`.
    void showLine(const std::string& node, const Ogre::Vector3& from, const Ogre::Vector3& to,
                  const Ogre::ColourValue& colour);
    /// Text at a world point, turned to the camera. Without the font the
    /// caption is left out (the rest still shows).
    void showCaption(const std::string& node, const Ogre::Vector3& at, const std::string& text);
    /// Hides the marks not shown since beginFrame.
    void endFrame();

private:
    struct Mark {
        Ogre::SceneNode* node = nullptr;
        std::unique_ptr<DynamicLine> line;
        std::unique_ptr<MovableText> text;
        bool shown = false;
    };
    Mark& mark(const std::string& node);

    Ogre::SceneManager& sceneManager;
    std::map<std::string, Mark> marks;
};

} // namespace Kiln
