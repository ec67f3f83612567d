#include "graphics/DynamicRenderable.h"

#include "detail/BufferCapacity.h"

#include <OgreCamera.h>
#include <OgreHardwareBufferManager.h>
#include <OgreMaterialManager.h>
#include <OgreNode.h>

#include <atomic>

namespace Kiln {
namespace {

std::string generatedName() {
    static std::atomic<unsigned> counter{0};
    return "DynamicRenderable_" + std::to_string(counter++);
}

} // namespace

DynamicRenderable::DynamicRenderable(const std::string& name)
    : Ogre::SimpleRenderable(name.empty() ? generatedName() : name) {
    setMaterial(Ogre::MaterialManager::getSingleton().getByName("BaseWhiteNoLighting"));
}

DynamicRenderable::~DynamicRenderable() {
    delete mRenderOp.vertexData;
    delete mRenderOp.indexData;
}

void DynamicRenderable::initialise(Ogre::RenderOperation::OperationType type, bool useIndices) {
    mRenderOp.operationType = type;
    mRenderOp.useIndexes = useIndices;
    mRenderOp.vertexData = new Ogre::VertexData();
    if (useIndices)
        mRenderOp.indexData = new Ogre::IndexData();
    vertexCapacity = 0;
    indexCapacity = 0;
    createVertexDeclaration();
}

void DynamicRenderable::prepareHardwareBuffers(std::size_t vertexCount, std::size_t indexCount) {
    auto& buffers = Ogre::HardwareBufferManager::getSingleton();
    const std::size_t newVertexCapacity = bufferCapacityFor(vertexCount, vertexCapacity);
    if (newVertexCapacity != vertexCapacity) {
        Ogre::VertexData& data = *mRenderOp.vertexData;
        data.vertexBufferBinding->setBinding(
            0, buffers.createVertexBuffer(data.vertexDeclaration->getVertexSize(0), newVertexCapacity,
                                          Ogre::HardwareBuffer::HBU_DYNAMIC_WRITE_ONLY_DISCARDABLE,
                                          false));
        vertexCapacity = newVertexCapacity;
    }
    mRenderOp.vertexData->vertexStart = 0;
    mRenderOp.vertexData->vertexCount = vertexCount;

    if (!mRenderOp.useIndexes)
        return;
    const std::size_t newIndexCapacity = bufferCapacityFor(indexCount, indexCapacity);
    if (newIndexCapacity != indexCapacity) {
        mRenderOp.indexData->indexBuffer = buffers.createIndexBuffer(
            Ogre::HardwareIndexBuffer::IT_32BIT, newIndexCapacity,
            Ogre::HardwareBuffer::HBU_DYNAMIC_WRITE_ONLY_DISCARDABLE, false);
        indexCapacity = newIndexCapacity;
    }
    mRenderOp.indexData->indexStart = 0;
    mRenderOp.indexData->indexCount = indexCount;
}

Ogre::Real DynamicRenderable::getBoundingRadius() const {
    return mBox.isFinite() ? mBox.getHalfSize().length() + mBox.getCenter().length() : 0.0f;
}

Ogre::Real DynamicRenderable::getSquaredViewDepth(const Ogre::Camera* camera) const {
    const Ogre::Vector3 centre =
        mParentNode ? mParentNode->_getFullTransform() * mBox.getCenter() : mBox.getCenter();
    return camera->getDerivedPosition().squaredDistance(centre);
}

} // namespace Kiln
