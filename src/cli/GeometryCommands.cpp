// boolean, reduce and subdivide: the whole-object geometry operations.
#include "cli/Command.h"

#include "geometry/FastBooleanBuilder.h"
#include "geometry/ReductionPass.h"
#include "geometry/SubdivisionPass.h"
#include "io/SceneFiles.h"
#include "mesh/MeshMeasures.h"
#include "scene/Object.h"

#include <algorithm>
#include <cmath>
#include <future>
#include <iostream>
#include <memory>
#include <stdexcept>

namespace cli {

namespace {

void collectObjects(Kiln::ObjectGroup& node, std::vector<Kiln::ObjectGroup*>& out) {
    for (const auto& child : node.getChildren()) {
        if (child->isObject() && child->getMesh() && child->getMesh()->getFaceCount() > 0)
            out.push_back(child.get());
        collectObjects(*child, out);
    }
}

struct Bounds {
    double lo[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL};
    double hi[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    void add(const Bounds& other) {
        for (int k = 0; k < 3; ++k) {
            lo[k] = std::min(lo[k], other.lo[k]);
            hi[k] = std::max(hi[k], other.hi[k]);
        }
    }
};

Bounds boundsOf(const Kiln::MeshArrays& mesh) {
    Bounds bounds;
    for (std::size_t i = 0; i < mesh.positions.size(); ++i) {
        bounds.lo[i % 3] = std::min(bounds.lo[i % 3], mesh.positions[i]);
        bounds.hi[i % 3] = std::max(bounds.hi[i % 3], mesh.positions[i]);
    }
    return bounds;
}

bool overlaps(const Bounds& a, const Bounds& b) {
    for (int k = 0; k < 3; ++k)
        if (a.hi[k] < b.lo[k] || b.hi[k] < a.lo[k])
            return false;
    return true;
}

void append(Kiln::MeshArrays& operand, const Kiln::MeshArrays& part) {
    const std::uint32_t offset = static_cast<std::uint32_t>(operand.vertexCount());
    operand.positions.insert(operand.positions.end(), part.positions.begin(), part.positions.end());
    operand.colours.insert(operand.colours.end(), part.colours.begin(), part.colours.end());
    for (const std::uint32_t index : part.indices)
        operand.indices.push_back(index + offset);
}

/// A file's scene and the objects in it that have a mesh.
struct OperandFile {
    std::unique_ptr<Kiln::ObjectGroup> root = std::make_unique<Kiln::ObjectGroup>();
    std::vector<Kiln::ObjectGroup*> objects;
};

/// Reads a file; safe to run on a worker thread (readers share no state).
OperandFile importOperandFile(const std::string& path) {
    OperandFile file;
    Kiln::PlainObjectFactory factory;
    onFile(path, [&] {
        Kiln::importSceneFile(path, *file.root, factory);
        collectObjects(*file.root, file.objects);
    });
    return file;
}

/// The frame of a file's first object, which the result takes; identity
/// when that object is scaled to nothing.
Ogre::Matrix4 operandFrame(const std::string& path, const OperandFile& file) {
    if (file.objects.empty())
        throw FileError(path, "no object with a mesh to use as an operand");
    const Ogre::Matrix4 firstWorld = file.objects.front()->getWorldMatrix();
    // A group scaled to nothing has no inverse: the result then lives in
    // world coordinates, where the flattened object is simply empty.
    const float determinant = firstWorld.determinant();
    return std::isfinite(determinant) && determinant != 0.0f ? firstWorld : Ogre::Matrix4::IDENTITY;
}

/// The objects of a file as one operand in `frame`; tells in `closed`
/// whether every object's mesh is closed. Closed objects that overlap are
/// united. The file's scene is freed once converted. Safe to run on a
/// worker thread (it touches only its own file and prints nothing).
Kiln::MeshArrays loadOperand(const std::string& path, OperandFile file, const Ogre::Matrix4& frame, bool& closed) {
    const std::vector<Kiln::ObjectGroup*>& objects = file.objects;
    if (objects.empty())
        throw FileError(path, "no object with a mesh to use as an operand");
    const Ogre::Matrix4 inverseFrame = frame.inverse();
    Kiln::MeshArrays operand;
    Bounds operandBounds;
    closed = true;
    for (Kiln::ObjectGroup* object : objects) {
        const Kiln::DynamicMesh& mesh = *object->getMesh();
        const bool partClosed = Kiln::isClosed(mesh);
        const Ogre::Matrix4 toFrame = inverseFrame * object->getWorldMatrix();
        const bool identity = toFrame == Ogre::Matrix4::IDENTITY;
        const Kiln::MeshArrays part = Kiln::toMeshArrays(mesh, identity ? nullptr : &toFrame);
        const Bounds partBounds = boundsOf(part);
        // Closed objects that may overlap are united first: laid side by
        // side, their overlap would be a self-intersecting operand and the
        // result wrong. Apart, joining the arrays is the union already.
        if (closed && partClosed && overlaps(operandBounds, partBounds))
            operand = Kiln::computeBoolean(operand, part, Kiln::BooleanOperation::Union);
        else
            append(operand, part);
        closed &= partClosed;
        operandBounds.add(partBounds);
    }
    return operand;
}

void warnIfOpen(const std::string& path, bool closed) {
    if (!closed)
        std::cerr << "morvel-cli: warning: " << path << ": the operand is not closed; the result may not be either\n";
}

Kiln::BooleanOperation booleanOperation(const std::string& name) {
    if (name == "union")
        return Kiln::BooleanOperation::Union;
    if (name == "intersect")
        return Kiln::BooleanOperation::Intersection;
    if (name == "subtract")
        return Kiln::BooleanOperation::Difference;
    throw UsageError("unknown operation '" + name + "' (use union, intersect or subtract)");
}

int runBoolean(const Arguments& args) {
    std::vector<std::string> flags;
    const Arguments positional = positionalArguments(args, {}, flags);
    expectCount(positional, 4);
    const Kiln::BooleanOperation operation = booleanOperation(positional[0]);
    bool closedA = false, closedB = false;
    // Reading, welding and converting the files is a large share of the
    // whole run: both operands go through it at once. A's errors are still
    // reported first (a failed conversion of B waits in its future).
    auto fileB = std::async(std::launch::async, [&] { return importOperandFile(positional[2]); });
    OperandFile fileA = importOperandFile(positional[1]);
    const Ogre::Matrix4 frame = operandFrame(positional[1], fileA);
    auto convertB = std::async(std::launch::async, [&] {
        return loadOperand(positional[2], fileB.get(), frame, closedB);
    });
    const Kiln::MeshArrays a = loadOperand(positional[1], std::move(fileA), frame, closedA);
    const Kiln::MeshArrays b = convertB.get();
    warnIfOpen(positional[1], closedA);
    warnIfOpen(positional[2], closedB);
    std::unique_ptr<Kiln::DynamicMesh> mesh = Kiln::toDynamicMesh(Kiln::computeBoolean(a, b, operation));
    // Closed operands that do not cut themselves always give a closed
    // result; an open one means a mesh of an operand intersects itself and
    // the result would be wrong. Say so rather than write it.
    if (closedA && closedB && mesh && !Kiln::isClosed(*mesh))
        throw std::runtime_error("the operand intersects itself: the result would not be closed; nothing was "
                                 "written to " + positional[3]);

    Kiln::ObjectGroup root;
    if (mesh) {
        auto object = std::make_unique<Kiln::Object>();
        object->setMesh(std::move(mesh));
        Ogre::Vector3 position, scale;
        Ogre::Quaternion orientation;
        Ogre::Affine3(frame).decomposition(position, scale, orientation);
        object->setTransform(position, orientation, scale);
        object->setParameter("material", "defaultMaterial");
        object->setParameter("castShadows", true);
        root.adoptChild(std::move(object));
    } else {
        std::cerr << "morvel-cli: note: the result is empty\n";
    }
    onFile(positional[3], [&] { Kiln::exportSceneFile(root, positional[3]); });
    return 0;
}

template <typename Operation>
int runOnEveryObject(const Arguments& args, Operation&& operation) {
    std::vector<std::string> flags;
    const Arguments positional = positionalArguments(args, {}, flags);
    expectCount(positional, 2);
    Kiln::ObjectGroup root;
    Kiln::PlainObjectFactory factory;
    std::vector<Kiln::ObjectGroup*> objects;
    onFile(positional[0], [&] {
        Kiln::importSceneFile(positional[0], root, factory);
        collectObjects(root, objects);
    });
    for (Kiln::ObjectGroup* object : objects)
        operation(*object->getMesh());
    onFile(positional[1], [&] { Kiln::exportSceneFile(root, positional[1]); });
    return 0;
}

int runReduce(const Arguments& args) {
    return runOnEveryObject(args, [](Kiln::DynamicMesh& mesh) { Kiln::reduceWholeMesh(mesh); });
}

int runSubdivide(const Arguments& args) {
    return runOnEveryObject(args, [](Kiln::DynamicMesh& mesh) { Kiln::subdivideWholeMesh(mesh); });
}

const CommandRegistration booleanCommand{
    {"boolean", "boolean union|intersect|subtract A B OUT",
     "Combine the objects of A (first operand) with those of B; the result in A's first object's frame",
     runBoolean}};
const CommandRegistration reduceCommand{
    {"reduce", "reduce IN OUT", "Reduce every object's mesh by collapsing vertices onto neighbours", runReduce}};
const CommandRegistration subdivideCommand{
    {"subdivide", "subdivide IN OUT", "Split every edge of every object's mesh at its midpoint", runSubdivide}};

} // namespace

} // namespace cli
