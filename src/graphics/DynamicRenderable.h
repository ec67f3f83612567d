#pragma once
// A renderable whose vertex and index buffers are filled by hand and grow
// or shrink by the shared capacity rule, so that geometry rebuilt every
// frame (grid, measuring lines) rarely reallocates.
#include <OgreSimpleRenderable.h>

#include <cstddef>
#include <string>

namespace Kiln {

class DynamicRenderable : public Ogre::SimpleRenderable {
public:
    /// `name` must be unique among the scene manager's movable objects
    /// once attached; empty takes a generated one.
    explicit DynamicRenderable(const std::string& name);
    ~DynamicRenderable() override;

    Ogre::Real getBoundingRadius() const override;
    Ogre::Real getSquaredViewDepth(const Ogre::Camera* camera) const override;

    std::size_t getVertexCapacity() const { return vertexCapacity; }
    std::size_t getIndexCapacity() const { return indexCapacity; }

protected:
    /// Sets the operation type and creates the vertex data; call once from
    /// the derived constructor.
    void initialise(Ogre::RenderOperation::OperationType type, bool useIndices);
    virtual void createVertexDeclaration() = 0;
    /// Applies the capacity rule to both buffers and sets the counts drawn.
    void prepareHardwareBuffers(std::size_t vertexCount, std::size_t indexCount);
    virtual void fillHardwareBuffers() = 0;

    std::size_t vertexCapacity = 0;
    std::size_t indexCapacity = 0;
};

} // namespace Kiln
