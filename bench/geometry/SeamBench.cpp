// The output stage on a large flat face crossed by many small prisms: the
// face's kept pieces have long seam edges that need the many cut points of
// the prisms inserted, all in one plane x = 0. Prints the output stage's
// time and the points inserted for growing numbers of prisms; the time
// should grow about in proportion to the points, not with their square
// (it took 24 s for 256 prisms when each seam edge scanned every point in
// the plane; the clip stage dominates the total here).
#include "geometry/Boolean.h"

#include "MeshFixtures.h"

#include <cmath>
#include <cstdio>

namespace {

// A prism along x from x0 to x1 around (y, z): `sides` faces, closed by
// fans at both ends, wound outwards.
Kiln::MeshArrays prism(double x0, double x1, double y, double z, double radius, int sides) {
    Kiln::MeshArrays m;
    for (int end = 0; end < 2; ++end)
        for (int s = 0; s < sides; ++s) {
            const double angle = 2.0 * M_PI * s / sides;
            m.positions.insert(m.positions.end(),
                               {end ? x1 : x0, y + radius * std::cos(angle), z + radius * std::sin(angle)});
        }
    const auto n = static_cast<std::uint32_t>(sides);
    for (std::uint32_t s = 0; s < n; ++s) {
        const std::uint32_t t = (s + 1) % n;
        m.indices.insert(m.indices.end(), {s, t, n + t, s, n + t, n + s});
    }
    for (std::uint32_t s = 1; s + 1 < n; ++s) {
        m.indices.insert(m.indices.end(), {0, s + 1, s});
        m.indices.insert(m.indices.end(), {n, n + s, n + s + 1});
    }
    if (Kiln::signedVolume(m) < 0)
        for (std::size_t i = 0; i < m.indices.size(); i += 3)
            std::swap(m.indices[i + 1], m.indices[i + 2]);
    return m;
}

} // namespace

int main() {
    std::printf("%8s %10s %10s %12s %12s\n", "prisms", "triangles", "inserted", "output ms", "total ms");
    for (const int across : {4, 8, 16}) {
        const Kiln::MeshArrays face = fixtures::box(-1, 0, 0, 0, 1, 1);
        Kiln::MeshArrays prisms;
        const double pitch = 1.0 / across;
        for (int i = 0; i < across; ++i)
            for (int j = 0; j < across; ++j)
                prisms = fixtures::joined(prisms, prism(-0.5, 0.5, (i + 0.5) * pitch, (j + 0.5) * pitch,
                                                        0.3 * pitch, 24));
        Kiln::BooleanReport report;
        const Kiln::MeshArrays result = Kiln::computeBoolean(face, prisms, Kiln::BooleanOperation::Union, &report);
        double total = 0.0;
        for (const double ms : report.stageMilliseconds)
            total += ms;
        std::printf("%8d %10zu %10zu %12.1f %12.1f%s\n", across * across, prisms.triangleCount(),
                    report.seamVerticesInserted, report.stageMilliseconds[Kiln::BooleanReport::Output], total,
                    Kiln::isClosed(result) ? "" : "  (open!)");
        std::fflush(stdout);
    }
    return 0;
}
