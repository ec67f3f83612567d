#pragma once
// Triangulation of planar polygons with holes given as directed boundary
// edges between 3D points: the caps of sliced objects and the kept parts
// of triangles cut by the Boolean builder.
#include <cstdint>
#include <map>
#include <vector>

namespace Kiln {

/// A triangle over the caller's vertex indices.
struct TriFace {
    std::uint32_t v[3];
};

/// Classification of a boundary vertex in the top-to-bottom sweep.
enum class PolygonVertexType : std::uint32_t {
    Start = 1,
    End = 2,
    Split = 3,
    Merge = 4,
    RegularRising = 5,  ///< previous neighbour below, next neighbour above
    RegularFalling = 6, ///< previous neighbour above, next neighbour below
};

class ComplexPolygon {
public:
    /// vertices: 4 doubles (x, y, z, w) per vertex, kept by reference and
    /// read until triangulate() returns. origin, axisU, axisV: the 2D frame
    /// of the polygon's plane; points project to u = (p - O).U, v = (p - O).V.
    /// edges: the directed boundary edges a -> b; outer loops run clockwise
    /// and holes counter-clockwise in (u, v). The edges used are erased.
    /// Throws Kiln::Exception (code 9, "Unclosed polygon!") when a chain of
    /// edges does not return to its start.
    ComplexPolygon(const std::vector<double>& vertices, const double origin[3],
                   const double axisU[3], const double axisV[3],
                   std::multimap<std::uint32_t, std::uint32_t>& edges);

    /// Appends triangles covering the region, wound like the boundary loops
    /// (clockwise in (u, v)). Throws Kiln::Exception (code 9, "Triangulation
    /// Error") when the sweep meets an inconsistent boundary.
    void triangulate(std::vector<TriFace>& out) const;

    /// Number of boundary vertices kept after removing repeated points.
    std::size_t vertexCount() const { return points.size(); }
    std::uint32_t sourceIndex(std::size_t i) const { return points[i].source; }
    PolygonVertexType vertexType(std::size_t i) const { return points[i].type; }

private:
    struct PolygonVertex {
        std::uint32_t previous;
        std::uint32_t next;
        std::uint32_t source;
        PolygonVertexType type;
        double u;
        double v;
    };

    std::multimap<std::uint32_t, std::uint32_t>::iterator
    chooseOutgoingEdge(std::multimap<std::uint32_t, std::uint32_t>& edges,
                       const std::vector<std::uint32_t>& loop) const;
    void project(std::uint32_t index, double& u, double& v) const;
    void addLoop(const std::vector<std::uint32_t>& loop);
    void classifyVertices();
    bool above(std::uint32_t a, std::uint32_t b) const;
    /// face: a y-monotone loop of polygon vertices, counter-clockwise in
    /// the mirrored frame (x = -u, y = v).
    void triangulateMonotone(const std::vector<std::uint32_t>& face, std::vector<TriFace>& out) const;

    std::vector<PolygonVertex> points;
    const std::vector<double>* sourceVertices;
    double origin[3];
    double axisU[3];
    double axisV[3];
};

} // namespace Kiln
