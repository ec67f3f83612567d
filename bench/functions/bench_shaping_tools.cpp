// The shaping tools on large meshes through the function manager, without
// a window (the graphics and haptics presenters' own costs are not in these
// figures):
//  - the Boolean tool uniting two 320,000-triangle spheres: time from the
//    key release to the result in the scene, and the longest main-thread
//    step meanwhile (the kernel runs on a worker thread), and how soon the
//    worker stops when cancelled;
//  - a paint, a reduce and a subdivide stroke of 60 frames on a
//    1,000,000-triangle sphere: the tool's main-thread time per frame, and
//    the stroke's start and end.
#include "functions/FunctionManager.h"
#include "functions/colour/ColourFunction.h"
#include "functions/colour/PaintFunction.h"
#include "functions/combine/BooleanFunction.h"
#include "functions/resolution/ReduceMeshFunction.h"
#include "functions/resolution/SubmeshFunction.h"
#include "mesh/MeshMeasures.h"
#include "scene/IObjectFactory.h"
#include "scene/Object.h"
#include "scene/SelectionManager.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A closed latitude-longitude sphere: 2 * segments * (rings - 1) triangles.
std::unique_ptr<Kiln::DynamicMesh> sphere(float radius, int rings, int segments, const Ogre::Vector3& centre) {
    std::vector<Kiln::Vertex> vertices;
    std::vector<Kiln::Face> faces;
    auto add = [&](const Ogre::Vector3& p) {
        Kiln::Vertex v;
        v.position = centre + p * radius;
        vertices.push_back(v);
    };
    add(Ogre::Vector3(0, 0, 1));
    for (int r = 1; r < rings; ++r)
        for (int s = 0; s < segments; ++s) {
            const double theta = M_PI * r / rings, phi = 2.0 * M_PI * s / segments;
            add(Ogre::Vector3(float(std::sin(theta) * std::cos(phi)), float(std::sin(theta) * std::sin(phi)),
                              float(std::cos(theta))));
        }
    add(Ogre::Vector3(0, 0, -1));
    const auto south = std::uint32_t(vertices.size() - 1);
    auto ring = [&](int r, int s) { return std::uint32_t(1 + (r - 1) * segments + (s % segments)); };
    for (int s = 0; s < segments; ++s)
        faces.push_back({0u, ring(1, s), ring(1, s + 1)});
    for (int r = 1; r + 1 < rings; ++r)
        for (int s = 0; s < segments; ++s) {
            faces.push_back({ring(r, s), ring(r + 1, s), ring(r + 1, s + 1)});
            faces.push_back({ring(r, s), ring(r + 1, s + 1), ring(r, s + 1)});
        }
    for (int s = 0; s < segments; ++s)
        faces.push_back({ring(rings - 1, s), south, ring(rings - 1, s + 1)});
    return std::make_unique<Kiln::DynamicMesh>(std::move(vertices), std::move(faces));
}

class BenchHaptics : public IToolHaptics {
public:
    std::vector<Kiln::ObjectHandle> getTouchedObjects() const override { return touched; }
    int getSideSetting() const override { return 1; }
    void setHapticSideRecursive(Kiln::ObjectGroup&, int) override {}
    void setStylusColour(const Ogre::ColourValue&) override {}
    void setStylusDirection(const Ogre::Matrix3&) override {}
    Kiln::VertexListWorker* getLiveDent(Kiln::ObjectGroup&) override { return nullptr; }
    void setHapticsWanted(bool) override {}
    std::vector<Kiln::ObjectHandle> touched;
};

struct Scene {
    Scene() : selection(&root) {
        context.sceneRoot = &root;
        context.selection = &selection;
        context.objectFactory = &factory;
        context.haptics = &haptics;
        manager = std::make_unique<FunctionManager>(context);
    }
    template <typename T>
    T* install() {
        auto function = std::make_unique<T>(context);
        T* raw = function.get();
        manager->registerFunction(std::move(function));
        raw->init();
        return raw;
    }
    Kiln::ObjectGroup root;
    Kiln::SelectionManager selection;
    Kiln::PlainObjectFactory factory;
    BenchHaptics haptics;
    FunctionContext context;
    std::unique_ptr<FunctionManager> manager;
};

void benchBoolean() {
    Scene scene;
    scene.install<BooleanFunction>();
    scene.manager->activateFunction("Boolean");
    for (const float x : {0.f, 0.6f}) {
        auto object = std::make_unique<Kiln::Object>();
        object->setMesh(sphere(1.f, 401, 400, Ogre::Vector3(x, 0, 0)));
        scene.selection.addObjectToSelected(scene.root.adoptChild(std::move(object))->getHandle());
    }
    const std::size_t triangles = scene.root.getChildren()[0]->getMesh()->getFaceCount();
    const Clock::time_point start = Clock::now();
    scene.manager->keyReleased(OIS::KeyEvent(nullptr, OIS::KC_U, 0));
    double longestStep = msSince(start);
    int frames = 0;
    while (scene.manager->isBusy()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(16));  // a frame's drawing
        const Clock::time_point step = Clock::now();
        scene.manager->frameStarted(Ogre::FrameEvent{});
        longestStep = std::max(longestStep, msSince(step));
        ++frames;
    }
    const double total = msSince(start);
    const Kiln::DynamicMesh& result = *scene.root.getChildren()[0]->getMesh();
    std::printf("Boolean union of two %zu-triangle spheres: %.0f ms from key to result (%d frames drawn meanwhile), "
                "longest main-thread step %.1f ms; result %zu triangles, closed %s\n",
                triangles, total, frames, longestStep, result.getFaceCount(),
                Kiln::isClosed(result) ? "yes" : "no");
}

/// How soon a worker stops once Escape cancels it, cancelling at several
/// points of a union of two 320,000-triangle spheres.
void benchBooleanCancel() {
    const std::unique_ptr<Kiln::DynamicMesh> a = sphere(1.f, 401, 400, Ogre::Vector3::ZERO);
    const std::unique_ptr<Kiln::DynamicMesh> b = sphere(1.f, 401, 400, Ogre::Vector3(0.6f, 0, 0));
    std::printf("Boolean cancel (320000-triangle spheres), cancel after / worker stopped after:");
    for (const int after : {100, 600, 1200, 2000}) {
        auto job = std::make_shared<BooleanJob>(*a, Ogre::Matrix4::IDENTITY, *b, Ogre::Matrix4::IDENTITY,
                                                BooleanJobKind::Union, false);
        std::thread worker([job] { job->run(); });
        std::this_thread::sleep_for(std::chrono::milliseconds(after));
        const Clock::time_point cancelled = Clock::now();
        job->cancel();
        worker.join();
        std::printf(" %d ms / %.0f ms%s;", after, msSince(cancelled), job->takeResult() ? " (had finished)" : "");
    }
    std::printf("\n");
}

/// 60 frames of a stroke that crawls over the sphere's north cap. With
/// `touchFirst`, a stroke whose brush holds no vertex comes first (the mesh
/// stays unchanged), and its start is printed as well.
template <typename Tool>
void benchStroke(const char* label, const char* name, float proxyRadius, bool touchFirst = false) {
    Scene scene;
    scene.install<ColourFunction>();
    scene.install<Tool>();
    scene.manager->activateFunction(name);
    auto owned = std::make_unique<Kiln::Object>();
    owned->setMesh(sphere(1.f, 501, 1000, Ogre::Vector3::ZERO));
    Kiln::Object* object = scene.root.adoptChild(std::move(owned));
    const std::size_t triangles = object->getMesh()->getFaceCount();
    scene.haptics.touched = {object->getHandle()};

    Kiln::HapticState state;
    double emptyStart = 0;
    std::size_t emptyEntries = 0;
    if (touchFirst) {
        state.buttons = 1;
        state.proxyRadius = 1e-6f;  // between the vertices
        state.position = state.proxyPosition = Ogre::Vector3(std::sin(0.2f), 0.f, std::cos(0.2f));
        Kiln::HapticEvent press(&state, nullptr);
        const Clock::time_point start = Clock::now();
        scene.manager->hapticMoved(press);
        emptyStart = msSince(start);
        state.buttons = 0;
        Kiln::HapticEvent release(&state, nullptr);
        scene.manager->hapticButtonReleased(release, 1u);
        emptyEntries = scene.manager->getUndoCount();
    }
    state.buttons = 1;
    state.proxyRadius = proxyRadius;
    double first = 0, sum = 0, worst = 0;
    const int frames = 60;
    for (int frame = 0; frame < frames; ++frame) {
        const float angle = 0.2f + 0.004f * float(frame);
        state.position = state.proxyPosition = Ogre::Vector3(std::sin(angle), 0.f, std::cos(angle));
        Kiln::HapticEvent event(&state, nullptr);
        const Clock::time_point start = Clock::now();
        scene.manager->hapticMoved(event);
        const double ms = msSince(start);
        if (frame == 0)
            first = ms;
        else {
            sum += ms;
            worst = std::max(worst, ms);
        }
    }
    state.buttons = 0;
    Kiln::HapticEvent event(&state, nullptr);
    const Clock::time_point end = Clock::now();
    scene.manager->hapticButtonReleased(event, 1u);
    const double endMs = msSince(end);
    if (touchFirst)
        std::printf("%s stroke on %zu triangles that changes nothing: start %.1f ms, %zu undo entries\n", label,
                    triangles, emptyStart, emptyEntries);
    std::printf("%s stroke on %zu triangles%s: start %.1f ms, then %.2f ms per frame (worst %.2f ms), end %.1f ms; "
                "%zu triangles after, closed %s, %zu undo entry\n",
                label, triangles, touchFirst ? " after it" : "", first, sum / (frames - 1), worst, endMs, object->getMesh()->getFaceCount(),
                Kiln::isClosed(*object->getMesh()) ? "yes" : "no", scene.manager->getUndoCount());
}

} // namespace

int main() {
    benchBoolean();
    benchBooleanCancel();
    benchStroke<PaintFunction>("Paint", "PaintFunction", 0.01f);
    benchStroke<ReduceMeshFunction>("Reduce", "ReduceMeshFunction", 0.01f);
    benchStroke<SubmeshFunction>("Subdivide", "SubmeshFunction", 0.01f);
    benchStroke<ReduceMeshFunction>("Reduce", "ReduceMeshFunction", 0.01f, true);
    benchStroke<SubmeshFunction>("Subdivide", "SubmeshFunction", 0.01f, true);
    return 0;
}
