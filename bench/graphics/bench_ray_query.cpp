// What one ray into the scene costs on a 1.3M-triangle object, as the mouse
// stylus casts one every frame and a selection sweep up to 32: the plain
// walk over every triangle against the caster's tree, and what building
// and refitting the tree cost when the mesh changes.
#include "graphics/RayQuery.h"
#include "scene/Object.h"
#include "support/BenchMeshes.h"

#include <chrono>
#include <cmath>
#include <cstdio>

namespace {

double msSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

/// Rays from the camera's side towards points spread over the torus.
Ogre::Ray rayNumber(int i) {
    const float angle = 0.37f * float(i);
    const Ogre::Vector3 target(3.0f * std::cos(angle), 3.0f * std::sin(angle), 0.5f * std::sin(3.0f * angle));
    const Ogre::Vector3 eye(0.0f, -4.0f, 12.0f);
    return Ogre::Ray(eye, target - eye);
}

} // namespace

int main() {
    Kiln::ObjectGroup root;
    auto object = std::make_unique<Kiln::Object>();
    object->setMesh(benchmesh::torusMesh(800, 820));
    Kiln::Object* torus = root.adoptChild(std::move(object));
    const std::size_t faces = torus->getMesh()->getFaceCount();
    constexpr int kRays = 200;

    auto start = std::chrono::steady_clock::now();
    int hits = 0;
    for (int i = 0; i < kRays / 10; ++i)
        hits += Kiln::raycastObjects(root, rayNumber(i)).empty() ? 0 : 1;
    const double plain = msSince(start) / (kRays / 10);

    Kiln::RayCaster caster;
    caster.raycast(root, rayNumber(0)); // first sight: walked
    start = std::chrono::steady_clock::now();
    caster.raycast(root, rayNumber(1)); // held still: the tree is built
    const double build = msSince(start);
    start = std::chrono::steady_clock::now();
    int treeHits = 0;
    for (int i = 0; i < kRays; ++i)
        treeHits += caster.raycast(root, rayNumber(i)).empty() ? 0 : 1;
    const double cached = msSince(start) / kRays;

    std::vector<Kiln::Vertex> moved = torus->getMesh()->getVertices();
    for (Kiln::Vertex& v : moved)
        v.position.z *= 1.01f;
    torus->getMesh()->setVertices(std::move(moved));
    caster.raycast(root, rayNumber(2)); // moved since the last query: walked
    start = std::chrono::steady_clock::now();
    caster.raycast(root, rayNumber(3)); // held still: refitted
    const double refit = msSince(start);

    std::printf("ray query on a %zu-triangle torus (%d of %d rays hit)\n", faces, treeHits, kRays);
    std::printf("  every triangle walked: %8.3f ms a ray\n", plain);
    std::printf("  through the tree:      %8.3f ms a ray (%.0fx)\n", cached, plain / cached);
    std::printf("  tree build (once per new faces):     %7.1f ms\n", build);
    std::printf("  tree refit (once per moved vertices): %7.1f ms\n", refit);
    return hits > 0 && treeHits > 0 ? 0 : 1; // rays that meet nothing measure nothing
}
