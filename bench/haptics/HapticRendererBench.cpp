// Renderer tick times on the primitives and on a mesh of about one million
// triangles. The budget is 1000 us a tick; the target p99 is below 100 us.
#include "haptics/HapticBench.h"
#include "mesh/MeshEditor.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

using namespace Kiln;

namespace {

// A bumpy closed sphere of rings x segments quads, two triangles each.
std::shared_ptr<IndexedShape> bumpySphere(int rings, int segments) {
    std::vector<float> positions;
    std::vector<std::uint32_t> indices;
    positions.reserve(3 * (rings + 1) * segments);
    for (int i = 0; i <= rings; ++i) {
        const double theta = M_PI * i / rings;
        for (int j = 0; j < segments; ++j) {
            const double phi = 2.0 * M_PI * j / segments;
            const double r = 3.0 + 0.15 * std::sin(7 * theta) * std::sin(5 * phi);
            positions.insert(positions.end(),
                             {float(r * std::sin(theta) * std::cos(phi)),
                              float(r * std::sin(theta) * std::sin(phi)), float(r * std::cos(theta))});
        }
    }
    indices.reserve(6 * rings * segments);
    for (int i = 0; i < rings; ++i)
        for (int j = 0; j < segments; ++j) {
            const std::uint32_t a = i * segments + j, b = i * segments + (j + 1) % segments;
            const std::uint32_t c = a + segments, d = b + segments;
            indices.insert(indices.end(), {a, c, b, b, c, d});
        }
    return std::make_shared<IndexedShape>(positions, indices);
}

void report(const char* name, std::size_t triangles, const std::shared_ptr<IndexedShape>& shape) {
    const HapticBenchResult result = runHapticBench(shape, HapticBenchOptions{});
    std::printf("%-14s triangles=%-8zu radius=%.4g candidates=%.0f iterations=%.1f\n  %s\n",
                name, triangles, result.radius, result.meanCandidates, result.meanIterations,
                result.summaryLine().c_str());
}

} // namespace

int main() {
    const char* names[] = {"plane", "cube", "sphere", "cone", "cylinder", "torus"};
    for (int type = 0; type < 6; ++type) {
        const auto mesh = MeshEditor::createNewDynamicMesh(type, Ogre::ColourValue::White);
        report(names[type], mesh->getFaceCount(),
               std::make_shared<IndexedShape>(mesh->getFaces(), mesh->getVertices()));
    }
    const auto begin = std::chrono::steady_clock::now();
    const auto big = bumpySphere(708, 708);
    const double buildSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    std::printf("bumpy sphere: shape built in %.2f s\n", buildSeconds);
    report("bumpy sphere", big->getTriangles().size(), big);
    return 0;
}
