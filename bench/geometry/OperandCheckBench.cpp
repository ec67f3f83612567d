// The checks every Boolean operand goes through before the kernel runs:
// closedness and the exact search for a surface crossing itself, on bumpy
// spheres of about 20k, 80k and 320k triangles, on icospheres, tori and UV
// spheres up to 1.3M (wide fans at a UV sphere's poles), and on a flat fan of
// slivers (many long triangles meeting at one corner). Prints the time of
// each; it should grow about in proportion to the triangles.
#include "geometry/BooleanOperands.h"

#include "MeshFixtures.h"
#include "support/BenchMeshes.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>

namespace {

double millisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

const char* only = nullptr; // a mesh name from the command line: measure that kind alone

void measure(const char* name, const Kiln::MeshArrays& mesh) {
    if (only != nullptr && std::string(only) != name)
        return;
    const auto start = std::chrono::steady_clock::now();
    const bool crossed = Kiln::intersectsItself(mesh);
    std::printf("%-14s %9zu triangles %10.1f ms%s\n", name, mesh.triangleCount(), millisecondsSince(start),
                crossed ? "  (crosses itself!)" : "");
    std::fflush(stdout);
}

Kiln::MeshArrays arraysOf(benchmesh::FlatMesh flat) {
    benchmesh::roundToFloats(flat); // as an STL file would carry it
    Kiln::MeshArrays m;
    m.positions = std::move(flat.positions);
    m.indices = std::move(flat.indices);
    return m;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1)
        only = argv[1];
    // Spheres are star-shaped from their centre, which the check proves in
    // one pass; tori and the hostile meshes below need the whole search.
    for (const int level : {6, 7, 8})
        measure("icosphere", arraysOf(benchmesh::icosphere(level, 0, 0, 0, 1.0)));
    for (const int rings : {200, 400, 800})
        measure("torus", fixtures::torus(0, 1, 0.3, rings, rings + rings / 40, 0.0, 1));
    measure("uv sphere", arraysOf(benchmesh::uvSphere(513, 1280, 0, 0, 0, 1.0)));
    for (const int segments : {203, 405, 810})
        measure("square uv sphere", arraysOf(benchmesh::uvSphere(segments, segments, 0, 0, 0, 1.0)));
    for (const int rings : {100, 200, 400})
        measure("bumpy sphere", fixtures::noisySphere(rings, 2 * rings, 0.02, 3));
    // A cube beside the cone keeps the mesh from being star-shaped, so the
    // whole search runs.
    for (const std::uint32_t count : {10000u, 40000u, 160000u})
        measure("sliver fan", fixtures::joined(fixtures::sliverCone(count), fixtures::cube(3, 0, 0, 0.5)));
    return 0;
}
