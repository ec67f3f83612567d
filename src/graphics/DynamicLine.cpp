#include "graphics/DynamicLine.h"

#include "log/Exception.h"

#include <OgreHardwareBufferManager.h>
#include <OgreNode.h>

#include <algorithm>
#include <cstring>

namespace Kiln {
namespace {

void checkIndex(std::size_t index, std::size_t count, const char* source) {
    if (index >= count)
        throw Exception(ErrorCode::General, "Index out of range.\nIndex : " + std::to_string(index) +
                               "\nVertex Count: " + std::to_string(count),
                        source);
}

} // namespace

DynamicLine::DynamicLine(DynamicLineType type_, bool useIndices_, const std::string& name)
    : DynamicRenderable(name), type(type_), useIndices(useIndices_) {
    if (useIndices && type == DLT_LINE_STRIP)
        throw Exception(ErrorCode::General, "Indexes cannot be used with the line type DLT_LINE_STRIP",
                        "Kiln::DynamicLine::DynamicLine(Kiln::DynamicLine::DynamicLineType, bool)");
    initialise(type == DLT_LINE_STRIP ? Ogre::RenderOperation::OT_LINE_STRIP
                                      : Ogre::RenderOperation::OT_LINE_LIST,
               useIndices);
    mBox.setNull();
}

void DynamicLine::createVertexDeclaration() {
    Ogre::VertexDeclaration* declaration = mRenderOp.vertexData->vertexDeclaration;
    declaration->addElement(0, 0, Ogre::VET_FLOAT3, Ogre::VES_POSITION);
    declaration->addElement(0, 12, Ogre::VET_UBYTE4_NORM, Ogre::VES_DIFFUSE);
}

void DynamicLine::addPoint(const Ogre::Vector3& position, const Ogre::ColourValue& colour) {
    points.push_back({position, colour});
    dirty = true;
}

void DynamicLine::setPoint(std::size_t index, const Ogre::Vector3& position,
                           const Ogre::ColourValue& colour) {
    checkIndex(index, points.size(), "Kiln::DynamicLine::setPoint(size_t)");
    points[index] = {position, colour};
    dirty = true;
}

void DynamicLine::addIndex(std::uint32_t index) {
    indices.push_back(index);
    dirty = true;
}

void DynamicLine::clear() {
    points.clear();
    indices.clear();
    dirty = true;
}

const Ogre::Vector3& DynamicLine::getVertex(std::size_t index) const {
    checkIndex(index, points.size(), "Kiln::DynamicLine::getVertex(size_t)");
    return points[index].position;
}

void DynamicLine::update() {
    if (dirty)
        fillHardwareBuffers();
}

void DynamicLine::fillHardwareBuffers() {
    prepareHardwareBuffers(points.size(), useIndices ? indices.size() : 0);
    mBox.setNull();
    if (!points.empty()) {
        const Ogre::HardwareVertexBufferSharedPtr buffer =
            mRenderOp.vertexData->vertexBufferBinding->getBuffer(0);
        auto* out = static_cast<unsigned char*>(buffer->lock(Ogre::HardwareBuffer::HBL_DISCARD));
        for (const Point& point : points) {
            std::memcpy(out, point.position.ptr(), 12);
            const Ogre::uint32 colour = point.colour.getAsABGR();
            std::memcpy(out + 12, &colour, 4);
            out += 16;
            mBox.merge(point.position);
        }
        buffer->unlock();
    }
    if (useIndices && !indices.empty()) {
        const Ogre::HardwareIndexBufferSharedPtr buffer = mRenderOp.indexData->indexBuffer;
        auto* out = static_cast<std::uint32_t*>(buffer->lock(Ogre::HardwareBuffer::HBL_DISCARD));
        const std::uint32_t last = points.empty() ? 0 : std::uint32_t(points.size() - 1);
        for (const std::uint32_t index : indices)
            *out++ = std::min(index, last);
        buffer->unlock();
    }
    if (mParentNode)
        mParentNode->needUpdate();
    dirty = false;
}

} // namespace Kiln
