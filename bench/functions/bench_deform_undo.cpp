// Fifty deform clicks on a 500,000-vertex object through the function
// manager: how much the undo history grows the process (RSS), how long a
// click's commit and the undo and redo of all fifty take, and whether
// undoing everything gives back the exact original positions.
#include "support/BenchMeshes.h"
#include "functions/FunctionManager.h"
#include "functions/sculpt/DeformFunction.h"
#include "mesh/DynamicMesh.h"
#include "scene/Object.h"

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace {


// The live dent's rule: vertices within `radius` of the centre move along
// `push`, weighted (1 - sin(d^2 pi/2))^3.
class Dent : public Kiln::VertexListWorker {
public:
    void operator()(std::vector<Kiln::Vertex>& vertices) override {
        const float scale = 1.0f / (radius * radius);
        for (Kiln::Vertex& v : vertices) {
            const float d2 = v.position.squaredDistance(centre) * scale;
            if (d2 < 1.f) {
                const float w = 1.f - std::sin(d2 * float(M_PI) * 0.5f);
                v.position += push * (w * w * w);
            }
        }
    }
    Ogre::Vector3 centre = Ogre::Vector3::ZERO;
    float radius = 0.5f;
    Ogre::Vector3 push = Ogre::Vector3::ZERO;
};

class OneObjectHaptics : public IToolHaptics {
public:
    std::vector<Kiln::ObjectHandle> getTouchedObjects() const override { return {object}; }
    int getSideSetting() const override { return side; }
    void setHapticSideRecursive(Kiln::ObjectGroup&, int s) override { side = s; }
    void setStylusColour(const Ogre::ColourValue&) override {}
    void setStylusDirection(const Ogre::Matrix3&) override {}
    Kiln::VertexListWorker* getLiveDent(Kiln::ObjectGroup&) override { return &dent; }
    void setHapticsWanted(bool) override {}

    Kiln::ObjectHandle object;
    Dent dent;
    int side = 1;
};

double residentMegabytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void run(const char* label, float dentRadius) {
    Kiln::ObjectGroup root;
    FunctionContext context;
    OneObjectHaptics haptics;
    context.sceneRoot = &root;
    context.haptics = &haptics;
    FunctionManager manager(context);
    manager.registerFunction(std::make_unique<DeformFunction>(context));
    manager.activateFunction("DeformFunction");

    auto object = std::make_unique<Kiln::Object>();
    object->setMesh(benchmesh::torusMesh(1000, 500));
    Kiln::Object* target = root.adoptChild(std::move(object));
    haptics.object = target->getHandle();
    haptics.dent.radius = dentRadius;
    const std::vector<Kiln::Vertex> original = target->getMesh()->getVertices();

    Kiln::HapticState state;
    const Kiln::HapticEvent event(&state, nullptr);
    const double before = residentMegabytes();
    double slowestClick = 0;
    const auto clicks = std::chrono::steady_clock::now();
    for (int click = 0; click < 50; ++click) {
        // Dents walk around the outer equator, each pushing inwards.
        const float theta = 2.0f * float(M_PI) * click / 50.0f;
        haptics.dent.centre = Ogre::Vector3(4.f * std::cos(theta), 4.f * std::sin(theta), 0.f);
        haptics.dent.push = -0.05f * haptics.dent.centre.normalisedCopy();
        const auto start = std::chrono::steady_clock::now();
        manager.hapticButtonPressed(event, 1u);
        manager.hapticButtonReleased(event, 1u);
        slowestClick = std::max(slowestClick, secondsSince(start));
    }
    const double clickSeconds = secondsSince(clicks);
    const double growth = residentMegabytes() - before;

    const auto undoStart = std::chrono::steady_clock::now();
    for (int i = 0; i < 50; ++i)
        manager.undo();
    const double undoSeconds = secondsSince(undoStart);
    const bool exact = std::memcmp(original.data(), target->getMesh()->getVertices().data(),
                                   original.size() * sizeof(Kiln::Vertex)) == 0;
    const auto redoStart = std::chrono::steady_clock::now();
    for (int i = 0; i < 50; ++i)
        manager.redo();
    const double redoSeconds = secondsSince(redoStart);

    const double copies = 50.0 * double(original.size() * sizeof(Kiln::Vertex)) / (1024.0 * 1024.0);
    std::printf("%-22s %zu vertices, %zu entries\n", label, original.size(), manager.getUndoCount());
    std::printf("  RSS growth over 50 clicks: %8.1f MB (50 mesh copies would be %.0f MB)\n", growth, copies);
    std::printf("  clicks: %.1f ms each on average, slowest %.1f ms\n", 1e3 * clickSeconds / 50,
                1e3 * slowestClick);
    std::printf("  undo x50: %.1f ms, redo x50: %.1f ms, undo restores exactly: %s\n",
                1e3 * undoSeconds, 1e3 * redoSeconds, exact ? "yes" : "NO");
}

} // namespace

int main() {
    // About 1% and 10% of the surface under each dent.
    run("dent radius 0.6:", 0.6f);
    run("dent radius 1.9:", 1.9f);
    return 0;
}
