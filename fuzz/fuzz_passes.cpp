// A small mesh decoded from the input (finite coordinates, any indices
// within range, degenerate and non-manifold faces included) through the
// whole-mesh subdivision and reduction passes: no crash, and every
// coordinate stays finite.
#include "geometry/ReductionPass.h"
#include "geometry/SubdivisionPass.h"

#include "FuzzInput.h"

#include <cstdlib>

namespace {

void requireFinite(const Kiln::DynamicMesh& mesh) {
    for (const Kiln::Vertex& v : mesh.getVertices())
        if (!std::isfinite(v.position.x) || !std::isfinite(v.position.y) || !std::isfinite(v.position.z))
            std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    const int exponent = static_cast<int>(in.byte() % 254) - 126;  // the whole float range
    const std::uint32_t vertexCount = 3 + in.byte() % 30, faceCount = 1 + in.byte() % 60;
    std::vector<Kiln::Vertex> vertices(vertexCount);
    for (Kiln::Vertex& v : vertices)
        for (int k = 0; k < 3; ++k) {
            const float value = std::ldexp(static_cast<float>(static_cast<std::int16_t>(in.u16())) / 32768.0f, exponent);
            v.position[k] = std::isfinite(value) ? value : 0.0f;
        }
    std::vector<Kiln::Face> faces(faceCount);
    for (Kiln::Face& f : faces)
        f = {in.byte() % vertexCount, in.byte() % vertexCount, in.byte() % vertexCount};
    Kiln::DynamicMesh mesh(vertices, faces);
    if (in.byte() & 1) {
        Kiln::subdivideWholeMesh(mesh);
        requireFinite(mesh);
    }
    Kiln::reduceWholeMesh(mesh);
    requireFinite(mesh);
    return 0;
}
