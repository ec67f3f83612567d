#include "detail/GpuCommandBufferFlush.h"

#include <OgreHardwareOcclusionQuery.h>
#include <OgreRenderSystem.h>
#include <OgreRoot.h>

#include <algorithm>

namespace Kiln {

GpuCommandBufferFlush::~GpuCommandBufferFlush() { stop(); }

void GpuCommandBufferFlush::start(Ogre::Root& root_, unsigned maxQueuedFrames) {
    stop();
    root = &root_;
    renderSystem = root->getRenderSystem();
    if (!renderSystem)
        return;
    const unsigned count = std::max(1u, maxQueuedFrames);
    for (unsigned i = 0; i < count; ++i)
        queries.push_back(renderSystem->createHardwareOcclusionQuery());
    current = 0;
    pulling = false;
    root->addFrameListener(this);
}

void GpuCommandBufferFlush::stop() {
    if (!root)
        return;
    root->removeFrameListener(this);
    for (Ogre::HardwareOcclusionQuery* query : queries)
        renderSystem->destroyHardwareOcclusionQuery(query);
    queries.clear();
    root = nullptr;
    renderSystem = nullptr;
}

bool GpuCommandBufferFlush::frameStarted(const Ogre::FrameEvent&) {
    if (queries.empty())
        return true;
    if (pulling) {
        unsigned int pixels = 0;
        queries[current]->pullOcclusionQuery(&pixels);
    }
    queries[current]->beginOcclusionQuery();
    return true;
}

bool GpuCommandBufferFlush::frameEnded(const Ogre::FrameEvent&) {
    if (queries.empty())
        return true;
    queries[current]->endOcclusionQuery();
    current = (current + 1) % queries.size();
    if (current == 0)
        pulling = true;
    return true;
}

} // namespace Kiln
