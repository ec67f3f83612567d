#include "geometry/FastBooleanBuilder.h"

#include "geometry/MeshCleanup.h"
#include "log/DebugChannel.h"

namespace Kiln {

MeshArrays toMeshArrays(const DynamicMesh& mesh, const Ogre::Matrix4* transform) {
    MeshArrays arrays;
    const std::vector<Vertex>& vertices = mesh.getVertices();
    arrays.positions.reserve(3 * vertices.size());
    arrays.colours.reserve(4 * vertices.size());
    for (const Vertex& v : vertices) {
        double p[3] = {v.position.x, v.position.y, v.position.z};
        if (transform) {
            const Ogre::Matrix4& m = *transform;
            double out[4];
            for (int r = 0; r < 4; ++r)
                out[r] = double(m[r][0]) * p[0] + double(m[r][1]) * p[1] + double(m[r][2]) * p[2] + double(m[r][3]);
            for (int k = 0; k < 3; ++k)
                p[k] = out[k] / out[3];
        }
        arrays.positions.insert(arrays.positions.end(), p, p + 3);
        for (int k = 0; k < 4; ++k)
            arrays.colours.push_back(v.colour[k]);
    }
    arrays.indices.reserve(3 * mesh.getFaceCount());
    for (const Face& f : mesh.getFaces())
        for (int k = 0; k < 3; ++k)
            arrays.indices.push_back(f[k]);
    return arrays;
}

std::unique_ptr<DynamicMesh> toDynamicMesh(const MeshArrays& arrays) {
    if (arrays.indices.empty())
        return nullptr;
    std::vector<Vertex> vertices(arrays.vertexCount());
    for (std::size_t i = 0; i < vertices.size(); ++i) {
        Vertex& v = vertices[i];
        v.position = Ogre::Vector3(static_cast<float>(arrays.positions[3 * i]),
                                   static_cast<float>(arrays.positions[3 * i + 1]),
                                   static_cast<float>(arrays.positions[3 * i + 2]));
        if (!arrays.colours.empty())
            v.colour = Ogre::ColourValue(arrays.colours[4 * i], arrays.colours[4 * i + 1], arrays.colours[4 * i + 2],
                                         arrays.colours[4 * i + 3]);
    }
    std::vector<Face> faces(arrays.triangleCount());
    for (std::size_t t = 0; t < faces.size(); ++t)
        faces[t] = {arrays.indices[3 * t], arrays.indices[3 * t + 1], arrays.indices[3 * t + 2]};
    cleanUpMesh(vertices, faces);
    if (faces.empty())
        return nullptr;
    return std::make_unique<DynamicMesh>(std::move(vertices), std::move(faces));
}

void FastBooleanBuilder::clear() {
    entries.clear();
}

IBooleanBuilder& FastBooleanBuilder::push(DynamicMesh* shape, const Ogre::Matrix4& transform) {
    entries.push_back({shape, transform, nullptr});
    return *this;
}

DynamicMesh* FastBooleanBuilder::pop() {
    if (entries.empty())
        return nullptr;
    Entry top = std::move(entries.back());
    entries.pop_back();
    top.owned.release(); // the caller owns a popped result
    return top.shape;
}

IBooleanBuilder& FastBooleanBuilder::apply(BooleanOperation operation) {
    if (entries.size() < 2)
        return *this;
    Entry b = std::move(entries.back());
    entries.pop_back();
    Entry a = std::move(entries.back());
    entries.pop_back();
    report = BooleanReport{};
    const MeshArrays arraysA = a.shape ? toMeshArrays(*a.shape) : MeshArrays{};
    // B in A's frame, unless both share one frame.
    const Ogre::Matrix4 relative = a.transform.inverse() * b.transform;
    const bool sameFrame = relative == Ogre::Matrix4::IDENTITY;
    const MeshArrays arraysB = b.shape ? toMeshArrays(*b.shape, sameFrame ? nullptr : &relative) : MeshArrays{};
    std::unique_ptr<DynamicMesh> result = toDynamicMesh(computeBoolean(arraysA, arraysB, operation, &report));
    DebugChannel& log = debugChannel("Boolean");
    for (int i = 0; i < 2; ++i)
        if (report.degenerateTriangles[i] > 0)
            log << report.degenerateTriangles[i] << " degenerate triangle(s) in input shape " << (i ? "B" : "A")
                << " left out" << endl;
    log << "clipped triangles " << report.nearTriangles[0] << " + " << report.nearTriangles[1] << ", tree nodes "
        << report.treeNodes[0] << " + " << report.treeNodes[1] << ", seam points added "
        << report.seamVerticesInserted << ", result " << (result ? result->getFaceCount() : 0) << " faces" << endl;
    DynamicMesh* shape = result.get();
    entries.push_back({shape, a.transform, std::move(result)});
    return *this;
}

} // namespace Kiln
