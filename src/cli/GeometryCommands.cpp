// boolean, reduce and subdivide: the whole-object geometry operations.
#include "cli/Command.h"

#include "geometry/BooleanOperands.h"
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

/// The objects of a file as one operand in `frame` (overlapping closed
/// objects united, each closed one checked for crossing itself). The
/// file's scene is freed once converted. Safe to run on a worker thread
/// (it touches only its own file and prints nothing).
Kiln::BooleanOperand loadOperand(const std::string& path, OperandFile file, const Ogre::Matrix4& frame) {
    const std::vector<Kiln::ObjectGroup*>& objects = file.objects;
    if (objects.empty())
        throw FileError(path, "no object with a mesh to use as an operand");
    const Ogre::Matrix4 inverseFrame = frame.inverse();
    Kiln::BooleanOperand operand;
    for (Kiln::ObjectGroup* object : objects) {
        const Ogre::Matrix4 toFrame = inverseFrame * object->getWorldMatrix();
        const bool identity = toFrame == Ogre::Matrix4::IDENTITY;
        operand.add(Kiln::toMeshArrays(*object->getMesh(), identity ? nullptr : &toFrame));
    }
    return operand;
}

void warnIfOpen(const std::string& path, const Kiln::BooleanOperand& operand) {
    if (!operand.isClosed())
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
    // Reading, welding and converting the files is a large share of the
    // whole run: both operands go through it at once. A's errors are still
    // reported first (a failed conversion of B waits in its future).
    auto fileB = std::async(std::launch::async, [&] { return importOperandFile(positional[2]); });
    OperandFile fileA = importOperandFile(positional[1]);
    const Ogre::Matrix4 frame = operandFrame(positional[1], fileA);
    auto convertB = std::async(std::launch::async, [&] { return loadOperand(positional[2], fileB.get(), frame); });
    const Kiln::BooleanOperand a = loadOperand(positional[1], std::move(fileA), frame);
    const Kiln::BooleanOperand b = convertB.get();
    warnIfOpen(positional[1], a);
    warnIfOpen(positional[2], b);
    std::unique_ptr<Kiln::DynamicMesh> mesh;
    try {
        mesh = Kiln::checkedBoolean(a, b, operation);
    } catch (const Kiln::BooleanRefused& refused) {
        if (refused.operand() >= 0)
            throw FileError(positional[1 + refused.operand()], refused.reason());
        throw std::runtime_error(refused.reason() + "; nothing was written to " + positional[3]);
    }

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
