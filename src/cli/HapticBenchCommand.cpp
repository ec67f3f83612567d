// haptic-bench: times the proxy renderer's tick on a mesh file.
#include "cli/Command.h"

#include "haptics/HapticBench.h"
#include "io/SceneFiles.h"
#include "scene/IObjectFactory.h"
#include "scene/ObjectGroup.h"

#include <cmath>
#include <cstdlib>
#include <iostream>
#include <limits>
#include <memory>

namespace cli {

namespace {

struct BenchArguments {
    std::string mesh;
    std::string trajectory;
    Kiln::HapticBenchOptions options;
};

double positiveNumber(const std::string& flag, const std::string& text) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(value) || value <= 0.0)
        throw UsageError(flag + " needs a positive number, not '" + text + "'");
    return value;
}

BenchArguments parse(const Arguments& args) {
    BenchArguments parsed;
    Arguments positional;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.rfind("--", 0) != 0) {
            positional.push_back(arg);
            continue;
        }
        if (i + 1 >= args.size())
            throw UsageError(arg + " needs a value");
        const std::string& value = args[++i];
        if (arg == "--ticks") {
            const double ticks = positiveNumber(arg, value);
            if (ticks != std::floor(ticks) || ticks > 1e9)
                throw UsageError("--ticks needs a whole number of ticks, not '" + value + "'");
            parsed.options.ticks = static_cast<std::size_t>(ticks);
        } else if (arg == "--radius") {
            parsed.options.radius = positiveNumber(arg, value);
        } else if (arg == "--trajectory") {
            parsed.trajectory = value;
        } else {
            throw UsageError("unknown option " + arg);
        }
    }
    expectCount(positional, 1);
    parsed.mesh = positional[0];
    return parsed;
}

// Every object's triangles, placed in the world, as one shape.
void gatherTriangles(const Kiln::ObjectGroup& node, std::vector<float>& positions,
                     std::vector<std::uint32_t>& indices) {
    for (const auto& child : node.getChildren()) {
        const Kiln::DynamicMesh* mesh = child->isObject() ? child->getMesh() : nullptr;
        if (mesh) {
            const auto base = static_cast<std::uint32_t>(positions.size() / 3);
            const Ogre::Matrix4& world = child->getWorldMatrix();
            for (const Kiln::Vertex& v : mesh->getVertices()) {
                const Ogre::Vector3 p = world * v.position;
                positions.insert(positions.end(), {p.x, p.y, p.z});
            }
            for (const Kiln::Face& f : mesh->getFaces())
                indices.insert(indices.end(), {base + f.i0, base + f.i1, base + f.i2});
        }
        gatherTriangles(*child, positions, indices);
    }
}

int runHapticBench(const Arguments& args) {
    const BenchArguments parsed = parse(args);
    std::vector<float> positions;
    std::vector<std::uint32_t> indices;
    onFile(parsed.mesh, [&] {
        Kiln::ObjectGroup root;
        Kiln::PlainObjectFactory factory;
        Kiln::importSceneFile(parsed.mesh, root, factory);
        gatherTriangles(root, positions, indices);
    });
    if (indices.empty())
        throw FileError(parsed.mesh, "no triangles to touch");
    std::unique_ptr<Kiln::HapticTrajectory> trajectory;
    if (!parsed.trajectory.empty())
        onFile(parsed.trajectory, [&] {
            trajectory = std::make_unique<Kiln::HapticTrajectory>(
                Kiln::HapticTrajectory::load(parsed.trajectory));
        });
    Kiln::HapticBenchOptions options = parsed.options;
    options.trajectory = trajectory.get();
    const auto shape = std::make_shared<Kiln::IndexedShape>(positions, indices);
    std::cout << Kiln::runHapticBench(shape, options).summaryLine() << "\n";
    return 0;
}

const CommandRegistration hapticBench{
    {"haptic-bench", "haptic-bench MESH [--ticks N] [--radius R] [--trajectory FILE]",
     "Time the haptic renderer's tick on MESH along a path that presses on and slides over it",
     runHapticBench}};

} // namespace

} // namespace cli
