// Sculpting a mesh of one million triangles: what a live dent costs the main
// thread each frame, what following a committed dent costs the touchable
// shape (refit against a whole rebuild), and what the haptic thread's tick
// looks like while the shape is replaced frame after frame.
#include "config/ConfigReader.h"
#include "haptics/HapticManager.h"
#include "hapticdevice/HapticsDeviceSimulated.h"
#include "haptics/HapticsPresenter.h"
#include "haptics/IndexedShape.h"
#include "haptics/RuspiniRenderer.h"
#include "scene/Object.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <thread>
#include <vector>

using namespace Kiln;
using Clock = std::chrono::steady_clock;

namespace {

constexpr float sphereRadius = 3.f;

double millisSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double percentile(std::vector<double> values, double p) {
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<std::size_t>(p * values.size()))];
}

// A closed UV sphere of rings x segments quads, two triangles each.
std::unique_ptr<DynamicMesh> uvSphere(int rings, int segments) {
    std::vector<Vertex> vertices;
    std::vector<Face> faces;
    vertices.reserve(std::size_t(rings + 1) * segments);
    for (int i = 0; i <= rings; ++i)
        for (int j = 0; j < segments; ++j) {
            const double theta = M_PI * i / rings, phi = 2.0 * M_PI * j / segments;
            Vertex v;
            v.position = Ogre::Vector3(float(sphereRadius * std::sin(theta) * std::cos(phi)),
                                       float(sphereRadius * std::cos(theta)),
                                       float(sphereRadius * std::sin(theta) * std::sin(phi)));
            vertices.push_back(v);
        }
    faces.reserve(std::size_t(2) * rings * segments);
    for (int i = 0; i < rings; ++i)
        for (int j = 0; j < segments; ++j) {
            const std::uint32_t a = i * segments + j, b = i * segments + (j + 1) % segments;
            const std::uint32_t c = a + segments, d = b + segments;
            faces.push_back({a, b, c});
            faces.push_back({b, d, c});
        }
    return std::make_unique<DynamicMesh>(std::move(vertices), std::move(faces));
}

// The worker the presenter makes for a proxy of radius r pressed in at
// `centre` (object frame = world frame here) by `push`.
HapticDeformation dentAt(const Ogre::Vector3& centre, float r, const Ogre::Vector3& push) {
    HapticDeformation dent;
    Ogre::Matrix4 scaling = Ogre::Matrix4::IDENTITY;
    scaling.setScale(Ogre::Vector3(1.f / (10.f * r)));
    Ogre::Matrix4 shift = Ogre::Matrix4::IDENTITY;
    shift.setTrans(-centre);
    dent.transform = scaling * shift;
    dent.displacement = push;
    return dent;
}

Ogre::Vector3 randomSurfacePoint(std::mt19937& random) {
    std::normal_distribution<float> normal;
    Ogre::Vector3 d(normal(random), normal(random), normal(random));
    // Away from the poles, where the UV rows crowd together.
    d.y *= 0.5f;
    return d.normalisedCopy() * sphereRadius;
}

void liveDent(const DynamicMesh& mesh) {
    const HapticDeformation dent = dentAt({0, sphereRadius, 0}, 0.05f, {0, -0.1f, 0});
    std::vector<double> workerOnly, copyAndWorker;
    std::vector<Vertex> drawn;
    for (int frame = 0; frame < 30; ++frame) {
        auto start = Clock::now();
        drawn.assign(mesh.getVertices().begin(), mesh.getVertices().end());
        const double copied = millisSince(start);
        start = Clock::now();
        HapticDeformation worker = dent;
        worker(drawn);
        workerOnly.push_back(millisSince(start));
        copyAndWorker.push_back(copied + workerOnly.back());
    }
    std::printf("live dent over %zu vertices, per frame: worker_ms median=%.2f max=%.2f; "
                "copy+worker_ms median=%.2f max=%.2f\n",
                mesh.getVertexCount(), percentile(workerOnly, 0.5), percentile(workerOnly, 1.0),
                percentile(copyAndWorker, 0.5), percentile(copyAndWorker, 1.0));
}

void committedDents(DynamicMesh& mesh) {
    auto start = Clock::now();
    auto shape = std::make_shared<IndexedShape>(mesh.getFaces(), mesh.getVertices());
    const double firstBuild = millisSince(start);
    std::printf("full build of the touchable shape: %.1f ms\n", firstBuild);
    std::mt19937 random(3);
    std::vector<double> byDiff, byName, rebuild;
    ShapeUpdateStats stats;
    std::size_t copiedTotal = 0, moved = 0, triangles = 0;
    for (int dent = 0; dent < 12; ++dent) {
        const Ogre::Vector3 centre = randomSurfacePoint(random);
        const std::vector<Vertex> before = mesh.getVertices();
        HapticDeformation worker = dentAt(centre, 0.05f, -centre.normalisedCopy() * 0.1f);
        mesh.applyVertexWorker(worker);
        std::vector<std::uint32_t> named;
        for (std::uint32_t v = 0; v < before.size(); ++v)
            if (before[v].position != mesh.getVertices()[v].position)
                named.push_back(v);
        start = Clock::now();
        auto viaName = shape->refitted(mesh.getVertices(), named);
        byName.push_back(millisSince(start));
        start = Clock::now();
        auto viaDiff = shape->refitted(mesh.getVertices(), &stats);
        byDiff.push_back(millisSince(start));
        if (!viaDiff) {
            std::printf("dent %d: refit refused, rebuilding\n", dent);
            viaDiff = std::make_shared<IndexedShape>(mesh.getFaces(), mesh.getVertices());
        }
        copiedTotal += stats.pagesCopied;
        moved += stats.movedVertices;
        triangles += stats.movedTriangles;
        if (dent < 3) {
            start = Clock::now();
            const auto rebuilt = std::make_shared<IndexedShape>(mesh.getFaces(), mesh.getVertices());
            rebuild.push_back(millisSince(start));
        }
        shape = viaDiff;
    }
    std::printf("committed dent (r=0.05, %zu vertices / %zu triangles moved on average): "
                "refit_by_diff_ms median=%.2f max=%.2f; refit_given_moved_ms median=%.2f "
                "max=%.2f; full_rebuild_ms median=%.1f; pages copied %.1f of %zu\n",
                moved / byDiff.size(), triangles / byDiff.size(), percentile(byDiff, 0.5),
                percentile(byDiff, 1.0), percentile(byName, 0.5), percentile(byName, 1.0),
                percentile(rebuild, 0.5), double(copiedTotal) / byDiff.size(), stats.pagesTotal);
}

// Times each renderer tick on the haptic thread.
class TimedRenderer : public IGlobalForceEffect {
public:
    explicit TimedRenderer(RuspiniRenderer& r, std::size_t capacity) : renderer(r), micros(capacity) {}
    void computeWorldForce(ForceTorque& out, IHapticsDevice& device, float dt) override {
        const auto start = Clock::now();
        renderer.computeWorldForce(out, device, dt);
        const std::size_t i = count.load(std::memory_order_relaxed);
        if (i < micros.size()) {
            micros[i] = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
            count.store(i + 1, std::memory_order_release);
        }
    }
    std::vector<double> results() const {
        return {micros.begin(), micros.begin() + count.load(std::memory_order_acquire)};
    }

private:
    RuspiniRenderer& renderer;
    std::vector<double> micros;
    std::atomic<std::size_t> count{0};
};

// The whole pipeline: the simulated hand presses into the top of the
// sphere and slides; each frame the manager updates the touch, and with
// `commit` the live dent is made permanent and the shape follows.
void sculpting(std::unique_ptr<DynamicMesh> mesh, bool commit) {
    HapticManager manager;
    ConfigReader settings(std::make_unique<SimpleXMLKeyValueStore>(
        SimpleXMLKeyValueStore::fromText("<Haptic StylusRadius=\"0.05\"/>")));
    auto owned = std::make_unique<HapticsDeviceSimulated>();
    HapticsDeviceSimulated* device = owned.get();
    device->setTarget({0, 4, 0});
    manager.initialise(settings, std::move(owned), nullptr);
    TimedRenderer timed(*manager.getRenderer(), 20000);
    device->removeGlobalForceEffect(manager.getRenderer());
    device->addGlobalForceEffect(&timed);
    auto root = std::make_unique<ObjectGroup>();
    root->setPresenter("haptics", std::make_unique<HapticsPresenterBase>());
    auto object = std::make_unique<Object>();
    object->setMesh(std::move(mesh));
    object->setPresenter("haptics", std::make_unique<HapticsPresenter>());
    Object* sphere = root->adoptChild(std::move(object));
    manager.objectAdded(root->getHandle());
    HapticsPresenter& presenter = *HapticsPresenter::of(*sphere);

    std::vector<double> applies, updates;
    int touchedFrames = 0, commits = 0, rebuilds = 0;
    const auto begin = Clock::now();
    for (int frame = 0; millisSince(begin) < 5000.0; ++frame) {
        const double t = millisSince(begin) / 1000.0;
        const float depth = t < 1.0 ? float(4.0 - 1.3 * t) : 2.7f;
        device->setTarget({float(0.8 * std::sin(t)), depth, float(0.8 * std::cos(1.3 * t) - 0.8)});
        manager.update(16.f);
        touchedFrames += !manager.getTouchedObjects().empty();
        if (commit && presenter.getDeformation()) {
            auto start = Clock::now();
            sphere->getMesh()->applyVertexWorker(*presenter.getDeformation());
            applies.push_back(millisSince(start));
            start = Clock::now();
            presenter.onMeshChanged();
            updates.push_back(millisSince(start));
            ++commits;
            rebuilds += presenter.getLastShapeUpdate().rebuilt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(16));
    }
    device->removeGlobalForceEffect(&timed);
    const std::vector<double> ticks = timed.results();
    std::printf("haptic tick while %s: ticks=%zu median_us=%.1f p99_us=%.1f max_us=%.1f; "
                "touched_frames=%d",
                commit ? "dents are committed and shapes swapped every frame" : "only touching",
                ticks.size(), percentile(ticks, 0.5), percentile(ticks, 0.99),
                percentile(ticks, 1.0), touchedFrames);
    if (commit)
        std::printf(" commits=%d rebuilds=%d; dent_into_mesh_ms median=%.2f, shape_update_ms "
                    "(diff, refit, swap) median=%.2f p99=%.2f",
                    commits, rebuilds, percentile(applies, 0.5), percentile(updates, 0.5),
                    percentile(updates, 0.99));
    std::printf("\n");
}

} // namespace

int main() {
    auto mesh = uvSphere(500, 1000);
    std::printf("mesh: %zu triangles, %zu vertices\n", mesh->getFaceCount(), mesh->getVertexCount());
    liveDent(*mesh);
    committedDents(*mesh);
    sculpting(uvSphere(500, 1000), false);
    sculpting(uvSphere(500, 1000), true);
    return 0;
}
