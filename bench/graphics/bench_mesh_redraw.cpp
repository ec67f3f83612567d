// Per-frame cost of redrawing a 100k-vertex object: positions changing every
// frame (a permanent edit, and the live dent through a deformation worker),
// a colour-only change, and an unchanged frame. Prints the CPU refill time
// and the whole frame (llvmpipe draws on the CPU too), and checks through
// the upload counters that a colour-only change writes only colours.
// Run without shadows, then under stencil shadows, where a caster keeps its
// shadow volume data up to date: the 100k object is too large for a volume,
// and a 32k one (near the most a volume takes) shows what keeping one costs.
#include "config/KeyValueStore.h"
#include "graphics/GraphicsManager.h"
#include "graphics/GraphicsPresenter.h"
#include "graphics/MeshRenderer.h"
#include "platform/FatalMessage.h"
#include "scene/Object.h"
#include "scene/Scene.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <unistd.h>

namespace {

constexpr int kFrames = 60;

/// kGrid x (kGrid - 1) vertices: 317 gives 100172, 181 gives 32580.
std::unique_ptr<Kiln::DynamicMesh> grid(int kGrid) {
    std::vector<Kiln::Vertex> vertices;
    vertices.reserve(std::size_t(kGrid) * (kGrid - 1));
    for (int j = 0; j < kGrid - 1; ++j)
        for (int i = 0; i < kGrid; ++i) {
            Kiln::Vertex v;
            v.position = Ogre::Vector3(float(i) / 8.0f - 20.0f, float(j) / 8.0f - 20.0f, 0.0f);
            v.colour = Ogre::ColourValue(0.8f, 0.5f, 0.3f);
            vertices.push_back(v);
        }
    std::vector<Kiln::Face> faces;
    const auto at = [kGrid](int i, int j) { return std::uint32_t(j * kGrid + i); };
    for (int j = 0; j + 1 < kGrid - 1; ++j)
        for (int i = 0; i + 1 < kGrid; ++i) {
            faces.push_back({at(i, j), at(i + 1, j), at(i + 1, j + 1)});
            faces.push_back({at(i, j), at(i + 1, j + 1), at(i, j + 1)});
        }
    return std::make_unique<Kiln::DynamicMesh>(std::move(vertices), std::move(faces));
}

/// A moving dent, as the deform tool's worker makes one.
struct Dent : Kiln::VertexListWorker {
    float phase = 0.0f;
    void operator()(std::vector<Kiln::Vertex>& vertices) override {
        const Ogre::Vector3 centre(std::cos(phase) * 8.0f, std::sin(phase) * 8.0f, 0.0f);
        for (Kiln::Vertex& v : vertices) {
            const float d2 = v.position.squaredDistance(centre);
            if (d2 < 25.0f)
                v.position.z -= (25.0f - d2) * 0.1f;
        }
    }
};

double msSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

struct Figures {
    double refill = 0, frame = 0;
};

/// Runs `change` then the refill and a frame, kFrames times; mean ms.
Figures measure(Kiln::GraphicsManager& graphics, Kiln::GraphicsPresenter& presenter,
                const std::function<void(int)>& change) {
    Figures total;
    for (int f = 0; f < kFrames; ++f) {
        change(f);
        const auto start = std::chrono::steady_clock::now();
        presenter.refresh();
        total.refill += msSince(start);
        graphics.renderOneFrame(0.016f);
        total.frame += msSince(start);
    }
    return {total.refill / kFrames, total.frame / kFrames};
}

void print(const char* what, const Figures& f) {
    std::printf("%-44s refill %7.3f ms   frame %7.3f ms\n", what, f.refill, f.frame);
}

bool runScene(const std::string& shadows, int gridSize);

} // namespace

int main(int argc, char** argv) {
    if (!Kiln::displayAvailable() && !std::getenv("MORVEL_BENCH_IN_XVFB")) {
        // Started without a display (as `make bench` does): rerun under Xvfb.
        setenv("MORVEL_BENCH_IN_XVFB", "1", 1);
        std::vector<char*> args = {const_cast<char*>("xvfb-run"), const_cast<char*>("-a"),
                                   const_cast<char*>("-s"), const_cast<char*>("-screen 0 1280x1024x24"),
                                   argv[0], nullptr};
        (void)argc;
        execvp("xvfb-run", args.data());
        std::perror("bench_mesh_redraw: needs an X display and xvfb-run is not available");
        return 1;
    }

    bool ok = true;
    for (const char* shadows : {"NONE", "STENCIL_ADDITIVE"})
        for (int size : {317, 181})
            ok = runScene(shadows, size) && ok;
    return ok ? 0 : 1;
}

namespace {

bool runScene(const std::string& shadows, int gridSize) {
    auto store = std::make_unique<Kiln::SimpleXMLKeyValueStore>(Kiln::SimpleXMLKeyValueStore::fromText(
        "<Config><Application Resolution=\"800x600\" Vsync=\"false\"/><Camera Position=\"0 0 60\"/>"
        "<Gpu MaxQueuedFrames=\"2\"/><Shadows ShadowType=\"" + shadows + "\"/>"
        "<Light1 CastShadow=\"true\"/></Config>"));
    Kiln::GraphicsOptions options;
    options.dataDirectory = MORVEL_SOURCE_DATA_DIR;
    auto graphics = Kiln::GraphicsManager::create(std::move(store), options);
    {
        auto scene = Kiln::Scene::create();
        Kiln::ObjectGroup sceneRoot, viewRoot;
        sceneRoot.setPresenter("graphics", std::make_unique<Kiln::GraphicsPresenter>(*graphics->getSceneManager()));
        viewRoot.setPresenter("graphics", std::make_unique<Kiln::GraphicsPresenter>(*graphics->getSceneManager()));
        viewRoot.setPosition(graphics->getCameraPosition());
        scene->addPresenter("graphics", graphics.get());
        scene->addObject(sceneRoot.getHandle());
        scene->addObject(viewRoot.getHandle());
        scene->setActiveObject(viewRoot.getHandle());

        auto object = std::make_unique<Kiln::Object>();
        object->setPresenter("graphics", std::make_unique<Kiln::GraphicsPresenter>(*graphics->getSceneManager()));
        object->setMesh(grid(gridSize));
        Kiln::Object& plane = *sceneRoot.adoptChild(std::move(object));
        Kiln::GraphicsPresenter& presenter = *Kiln::GraphicsPresenter::of(plane);
        const Kiln::MeshRenderer& renderer = *presenter.getMeshRenderer();
        Kiln::DynamicMesh& mesh = *plane.getMesh();
        std::printf("\nshadows %s; mesh: %zu vertices, %zu faces, window 800x600; shadow volume: %s\n",
                    shadows.c_str(), mesh.getVertexCount(), mesh.getFaceCount(),
                    renderer.hasShadowVolume() ? "yes" : "no");

        graphics->startScene();
        for (int i = 0; i < 5; ++i)
            graphics->renderOneFrame(0.016f);

        print("unchanged", measure(*graphics, presenter, [](int) {}));

        // A permanent edit of a patch: positions advance every frame.
        print("positions changed (400 vertices moved)", measure(*graphics, presenter, [&](int f) {
            for (int k = 0; k < 400; ++k) {
                Kiln::Vertex& target = mesh.getVertex(mesh.getVertexCount() / 2 + std::size_t(k));
                Kiln::Vertex v = target;
                v.position.z = std::sin(float(f + k)) * 0.5f;
                mesh.setVertex(target, v);
            }
        }));

        Dent dent;
        plane.setParameter("deformation", Kiln::ObjectParameter<Kiln::VertexListWorker*>(&dent));
        print("live dent (deformation worker)", measure(*graphics, presenter, [&](int f) {
            dent.phase = float(f) * 0.1f;
        }));
        plane.setParameter("deformation", Kiln::ObjectParameter<Kiln::VertexListWorker*>(nullptr));

        const Kiln::MeshUploadCounts before = renderer.getUploadCounts();
        print("colour only (400 vertices painted)", measure(*graphics, presenter, [&](int f) {
            for (int k = 0; k < 400; ++k) {
                Kiln::Vertex& target = mesh.getVertex(mesh.getVertexCount() / 5 + std::size_t(k));
                Kiln::Vertex v = target;
                v.colour = (f % 2) ? Ogre::ColourValue::Red : Ogre::ColourValue::Blue;
                mesh.setVertex(target, v);
            }
        }));
        const Kiln::MeshUploadCounts after = renderer.getUploadCounts();
        std::printf("colour-only frames: %zu colour uploads, %zu position uploads, %zu index uploads, "
                    "%zu reallocations\n",
                    after.colours - before.colours, after.positions - before.positions,
                    after.indices - before.indices, after.reallocations - before.reallocations);
        if (after.positions != before.positions || after.indices != before.indices) {
            std::printf("FAIL: a colour-only change uploaded positions or indices\n");
            return false;
        }
    }
    return true;
}

} // namespace
