#pragma once
// What the render loop tells the parts of the program that follow it.
// Every notification has an empty default.

namespace Kiln {

class GraphicsListener {
public:
    virtual ~GraphicsListener() = default;
    /// Once, when the loop starts, with the window and engine ready.
    virtual void onStartScene() {}
    /// Every frame, first; dt is the previous frame's length in seconds.
    virtual void onUpdate(const float& dt) { (void)dt; }
    virtual void onPreRender() {}
    virtual void onPostRender() {}
    /// Once, when the graphics manager is torn down.
    virtual void onEndScene() {}
    /// The user asked to close the window; false keeps it open.
    virtual bool onWindowClosing() { return true; }
    virtual void onWindowFocusChange(bool focused) { (void)focused; }
};

} // namespace Kiln
