#pragma once
// Keeps the CPU at most n frames ahead of the GPU, so that what the hand
// feels and what the eye sees stay in step: each frame is bracketed by an
// occlusion query, and before reusing a query the frame waits for its result.
#include <OgreFrameListener.h>

#include <vector>

namespace Ogre {
class HardwareOcclusionQuery;
class RenderSystem;
class Root;
} // namespace Ogre

namespace Kiln {

class GpuCommandBufferFlush : public Ogre::FrameListener {
public:
    GpuCommandBufferFlush() = default;
    ~GpuCommandBufferFlush() override;
    GpuCommandBufferFlush(const GpuCommandBufferFlush&) = delete;
    GpuCommandBufferFlush& operator=(const GpuCommandBufferFlush&) = delete;

    /// Starts limiting to `maxQueuedFrames` (at least 1) on `root`.
    void start(Ogre::Root& root, unsigned maxQueuedFrames);
    void stop();

    bool frameStarted(const Ogre::FrameEvent& event) override;
    bool frameEnded(const Ogre::FrameEvent& event) override;

private:
    Ogre::Root* root = nullptr;
    Ogre::RenderSystem* renderSystem = nullptr;
    std::vector<Ogre::HardwareOcclusionQuery*> queries;
    std::size_t current = 0;
    bool pulling = false;
};

} // namespace Kiln
