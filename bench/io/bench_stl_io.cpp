// Binary STL of 1,310,720 triangles: our export and welding import
// beside assimp's import of the same file (with vertex joining).
#include "support/BenchMeshes.h"
#include "io/Stl.h"

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>

namespace {


template <typename Work>
double bestSeconds(int runs, Work&& work) {
    double best = 1e30;
    for (int r = 0; r < runs; ++r) {
        const auto start = std::chrono::steady_clock::now();
        work();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

} // namespace

int main() {
    const std::string path = (std::filesystem::temp_directory_path() / "morvel-bench-1m.stl").string();
    Kiln::ObjectGroup root;
    auto object = std::make_unique<Kiln::Object>();
    object->setMesh(benchmesh::torusMesh(1024, 640));
    root.adoptChild(std::move(object));
    const std::size_t triangles = root.getChildren()[0]->getMesh()->getFaceCount();

    const int runs = 3;
    const double exportTime = bestSeconds(runs, [&] { Kiln::ExportStlBinary().save(root, path); });
    std::size_t ourVertices = 0;
    const double importTime = bestSeconds(runs, [&] {
        Kiln::ObjectGroup loaded;
        Kiln::PlainObjectFactory factory;
        Kiln::ImportStl().load(path, loaded, factory);
        ourVertices = loaded.getChildren().at(0)->getMesh()->getVertexCount();
    });
    std::size_t assimpVertices = 0;
    const double assimpTime = bestSeconds(runs, [&] {
        Assimp::Importer importer;
        const aiScene* scene = importer.ReadFile(path, aiProcess_JoinIdenticalVertices);
        assimpVertices = scene && scene->mNumMeshes ? scene->mMeshes[0]->mNumVertices : 0;
    });
    std::filesystem::remove(path);

    std::printf("binary STL, %zu triangles, best of %d runs\n", triangles, runs);
    std::printf("  morvel export              %8.3f s\n", exportTime);
    std::printf("  morvel import (welded)     %8.3f s  (%zu vertices, one object)\n", importTime, ourVertices);
    std::printf("  assimp import (joined)     %8.3f s  (%zu vertices)\n", assimpTime, assimpVertices);
    std::printf("  import time ratio morvel / assimp: %.2f (target: at most 0.5, %s)\n", importTime / assimpTime,
                importTime <= 0.5 * assimpTime ? "met" : "MISSED");
    return 0;
}
