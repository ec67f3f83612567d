// Subtraction of two overlapping spheres of about 20k, 80k and 320k
// triangles each: our exact builder and CGAL's corefinement in one process.
// Prints both times, their ratio, and the result sizes and volumes.
#include "geometry/Boolean.h"

#include "MeshFixtures.h"

#include <chrono>
#include <ctime>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#ifdef MORVEL_WITH_CGAL
#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Polygon_mesh_processing/corefinement.h>
#include <CGAL/Surface_mesh.h>
#endif

namespace {

double millisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

#ifdef MORVEL_WITH_CGAL
using Kernel = CGAL::Exact_predicates_inexact_constructions_kernel;
using SurfaceMesh = CGAL::Surface_mesh<Kernel::Point_3>;

SurfaceMesh toSurfaceMesh(const Kiln::MeshArrays& m) {
    SurfaceMesh mesh;
    std::vector<SurfaceMesh::Vertex_index> vertices;
    for (std::size_t v = 0; v < m.vertexCount(); ++v)
        vertices.push_back(mesh.add_vertex(Kernel::Point_3(m.positions[3 * v], m.positions[3 * v + 1], m.positions[3 * v + 2])));
    for (std::size_t t = 0; t < m.triangleCount(); ++t)
        mesh.add_face(vertices[m.indices[3 * t]], vertices[m.indices[3 * t + 1]], vertices[m.indices[3 * t + 2]]);
    return mesh;
}

double volume(const SurfaceMesh& mesh) {
    double v = 0.0;
    for (const auto f : mesh.faces()) {
        Kernel::Point_3 p[3];
        int k = 0;
        for (const auto vertex : CGAL::vertices_around_face(mesh.halfedge(f), mesh))
            p[k++] = mesh.point(vertex);
        v += CGAL::to_double(CGAL::determinant(p[0] - CGAL::ORIGIN, p[1] - CGAL::ORIGIN, p[2] - CGAL::ORIGIN));
    }
    return v / 6.0;
}
#endif

} // namespace

int main(int argc, char** argv) {
    // --quick runs only the smallest size (for a fast check of the build);
    // --ours N runs only our builder on the size with N segments (100, 200
    // or 400), for profilers that count instructions.
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    const bool oursOnly = argc > 2 && std::strcmp(argv[1], "--ours") == 0;
    std::vector<int> resolutions = {100, 200, 400};
    if (oursOnly)
        resolutions = {std::atoi(argv[2])};
    std::printf("%-10s %12s %12s %8s %12s %14s %14s\n", "triangles", "ours ms", "cgal ms", "ratio", "result tris",
                "our volume", "cgal volume");
    for (const int n : resolutions) {
        const Kiln::MeshArrays a = fixtures::sphere(0, 0, 0, 1.0, n, n);
        const Kiln::MeshArrays b = fixtures::sphere(0.5, 0.3, 0.2, 1.0, n, n);

        Kiln::BooleanReport report;
        auto start = std::chrono::steady_clock::now();
        std::clock_t cpuStart = std::clock();
        const Kiln::MeshArrays ours = Kiln::computeBoolean(a, b, Kiln::BooleanOperation::Difference, &report);
        const double ourMs = millisecondsSince(start);
        const double ourCpuMs = 1000.0 * double(std::clock() - cpuStart) / CLOCKS_PER_SEC;

        double cgalMs = NAN, cgalCpuMs = NAN, cgalVolume = NAN;
#ifdef MORVEL_WITH_CGAL
        if (oursOnly) {
            std::printf("%-10zu %12.1f %12s %8s %12zu %14.9f\n", a.triangleCount(), ourMs, "-", "-",
                        ours.triangleCount(), Kiln::signedVolume(ours));
            continue;
        }
        SurfaceMesh ma = toSurfaceMesh(a), mb = toSurfaceMesh(b), out;
        start = std::chrono::steady_clock::now();
        cpuStart = std::clock();
        const bool ok = CGAL::Polygon_mesh_processing::corefine_and_compute_difference(ma, mb, out);
        cgalMs = millisecondsSince(start);
        cgalCpuMs = 1000.0 * double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
        if (ok)
            cgalVolume = volume(out);
#endif
        std::printf("%-10zu %12.1f %12.1f %8.2f %12zu %14.9f %14.9f\n", a.triangleCount(), ourMs, cgalMs,
                    ourMs / cgalMs, ours.triangleCount(), Kiln::signedVolume(ours), cgalVolume);
        std::printf("           cpu ms (all threads): ours %.1f, cgal %.1f, ratio %.2f\n", ourCpuMs, cgalCpuMs,
                    ourCpuMs / cgalCpuMs);
        std::printf("           our stages ms: prepare %.1f, partition %.1f, trees %.1f, clip %.1f, output %.1f\n",
                    report.stageMilliseconds[0], report.stageMilliseconds[1], report.stageMilliseconds[2],
                    report.stageMilliseconds[3], report.stageMilliseconds[4]);
        std::fflush(stdout);
        if (quick)
            break;
    }
    return 0;
}
