#pragma once
// Coloured lines filled by hand: the grid, the measuring and rotation tools.
#include "graphics/DynamicRenderable.h"

#include <OgreColourValue.h>
#include <OgreVector.h>

#include <cstdint>
#include <vector>

namespace Kiln {

class DynamicLine : public DynamicRenderable {
public:
    enum DynamicLineType { DLT_LINE_LIST, DLT_LINE_STRIP };

    /// Throws Kiln::Exception when `useIndices` is asked for with
    /// DLT_LINE_STRIP (a strip is drawn in point order).
    DynamicLine(DynamicLineType type, bool useIndices, const std::string& name = "");

    void addPoint(const Ogre::Vector3& position, const Ogre::ColourValue& colour = Ogre::ColourValue::White);
    /// Throws Kiln::Exception for an index at or beyond the point count.
    void setPoint(std::size_t index, const Ogre::Vector3& position, const Ogre::ColourValue& colour);
    /// Adds an index into the points (list lines with indices only). An
    /// index beyond the points is clamped when the buffers are built.
    void addIndex(std::uint32_t index);
    /// Removes every point and index.
    void clear();
    /// Rebuilds the buffers if anything changed since the last update.
    void update();

    /// Position of point `index`; throws Kiln::Exception when out of range.
    const Ogre::Vector3& getVertex(std::size_t index) const;
    std::size_t getNumPoints() const { return points.size(); }
    std::size_t getNumIndices() const { return indices.size(); }
    DynamicLineType getType() const { return type; }

protected:
    void createVertexDeclaration() override;
    void fillHardwareBuffers() override;

private:
    struct Point {
        Ogre::Vector3 position;
        Ogre::ColourValue colour;
    };

    DynamicLineType type;
    bool useIndices;
    std::vector<Point> points;
    std::vector<std::uint32_t> indices;
    bool dirty = true;
};

} // namespace Kiln
